// SPDX-License-Identifier: GPL-3.0-or-later
// Real VST3 plug-ins (Debian's zam-plugins) loaded, processed and restored; broken modules
// refused.
#include "Vst3TestSupport.h"
#include "plugins/VST3PluginInstance.h"

#include "FailingDisk.h"
#include "Requirement.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <set>
#include <sstream>

namespace {

struct ZamCase
{
    const char *name;
    int channels;
};

// Channel counts as the plug-ins' own descriptions declare them.
constexpr ZamCase zamPlugins[] = {
    {"ZaMaximX2", 2},   {"ZaMultiComp", 1}, {"ZaMultiCompX2", 2}, {"ZamAutoSat", 1},
    {"ZamComp", 1},      {"ZamCompX2", 2},    {"ZamDelay", 1},      {"ZamDynamicEQ", 1},
    {"ZamEQ2", 1},      {"ZamGEQ31", 1},    {"ZamGate", 1},        {"ZamGateX2", 2},
    {"ZamGrains", 1},   {"ZamHeadX2", 2},   {"ZamPhono", 1},      {"ZamTube", 1},
    {"ZamVerb", 2},
};

// Runs `input` (copied to every channel) through a loaded, active instance and returns the
// first output channel.
std::vector<float> run(VST3PluginInstance &plugin, const std::vector<float> &input, int channels, int blockFrames)
{
    std::vector<std::vector<float>> in(std::size_t(channels), input);
    std::vector<std::vector<float>> out(std::size_t(channels), std::vector<float>(input.size(), 0.0f));
    std::vector<float *> inPointers;
    std::vector<float *> outPointers;
    for (int done = 0; done < int(input.size()); done += blockFrames) {
        inPointers.clear();
        outPointers.clear();
        for (int c = 0; c < channels; ++c) {
            inPointers.push_back(in[std::size_t(c)].data() + done);
            outPointers.push_back(out[std::size_t(c)].data() + done);
        }
        plugin.process(inPointers.data(), outPointers.data(), channels,
                       std::min(blockFrames, int(input.size()) - done));
    }
    return out[0];
}

std::string captured(const std::function<void()> &action, std::ostream &stream)
{
    std::ostringstream text;
    std::streambuf *old = stream.rdbuf(text.rdbuf());
    action();
    stream.rdbuf(old);
    return text.str();
}

} // namespace

TEST(VST3PluginInstanceTest, EveryZamPluginLoadsWithItsBusesAndAUniqueUid)
{
    std::set<std::string> uids;
    for (const ZamCase &zam : zamPlugins) {
        SCOPED_TRACE(zam.name);
        VST3PluginInstance plugin;
        const std::string out = captured([&] { ASSERT_TRUE(plugin.load(zamPath(zam.name), 44100, 512)); }, std::cout);
        const PluginInfo info = plugin.getInfo();
        EXPECT_EQ(info.name, zam.name);
        EXPECT_EQ(info.path, zamPath(zam.name));
        EXPECT_EQ(info.uid.size(), 32u);
        EXPECT_TRUE(uids.insert(info.uid).second) << info.uid;
        EXPECT_EQ(info.numInputChannels, zam.channels);
        EXPECT_EQ(info.numOutputChannels, zam.channels);
        // ZamComp, ZamCompX2, ZamGate, ZamGateX2 and ZamDynamicEQ have a side-chain input:
        // it is auxiliary and switched off, so only the main input counts.
        EXPECT_NE(out.find("Busses — in=" + std::to_string(zam.channels)), std::string::npos);

        const std::string err = captured([&] { EXPECT_FALSE(plugin.load(zamPath(zam.name), 44100, 512)); }, std::cerr);
        EXPECT_NE(err.find("VST3PluginInstance: Already loaded"), std::string::npos);
    }
}

TEST(VST3PluginInstanceTest, ParameterCountsComeFromTheController)
{
    const struct
    {
        const char *name;
        int parameters;
    } cases[] = {{"ZamComp", 13}, {"ZamEQ2", 15}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        VST3PluginInstance plugin;
        ASSERT_TRUE(plugin.load(zamPath(c.name), 44100, 512));
        EXPECT_EQ(plugin.getInfo().numParameters, c.parameters);
        EXPECT_EQ(plugin.getParameterCount(), c.parameters);
        EXPECT_EQ(plugin.getParameterName(c.parameters), "");
    }
}

TEST(VST3PluginInstanceTest, SineLevelThroughPluginsAtDefaults)
{
    // Neutral plug-ins pass a 1 kHz sine at 0.5 unchanged; a reverb and a tube stage do not.
    const struct
    {
        const char *name;
        int channels;
        bool neutral;
    } cases[] = {{"ZamEQ2", 1, true}, {"ZamComp", 1, true}, {"ZamVerb", 2, false}, {"ZamTube", 1, false}};
    const std::vector<float> input = sine(1000.0, 0.5f, 44100);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        VST3PluginInstance plugin;
        ASSERT_TRUE(plugin.load(zamPath(c.name), 44100, 512));
        ASSERT_TRUE(plugin.activate());
        const double changeDb = rmsDb(run(plugin, input, c.channels, 512), 8192) - rmsDb(input, 8192);
        if (c.neutral)
            EXPECT_NEAR(changeDb, 0.0, 0.05);
        else
            EXPECT_GT(std::abs(changeDb), 3.0);
    }
}

TEST(VST3PluginInstanceTest, LongCallsAreSplitIntoSetUpBlocks)
{
    // ZamEQ2 overruns its buffers when given more frames than it was set up for.
    const std::vector<float> input = sine(440.0, 0.5f, 2048);
    VST3PluginInstance whole;
    VST3PluginInstance pieces;
    for (VST3PluginInstance *plugin : {&whole, &pieces}) {
        ASSERT_TRUE(plugin->load(zamPath("ZamEQ2"), 44100, 512));
        ASSERT_TRUE(plugin->activate());
    }
    EXPECT_EQ(run(whole, input, 1, 2048), run(pieces, input, 1, 512));
}

TEST(VST3PluginInstanceTest, MonoPluginSilencesTheSecondChannel)
{
    VST3PluginInstance plugin;
    ASSERT_TRUE(plugin.load(zamPath("ZamEQ2"), 44100, 512));
    ASSERT_TRUE(plugin.activate());
    std::vector<float> left = sine(1000.0, 0.5f, 256);
    std::vector<float> right(256, 0.75f);
    float *channels[2] = {left.data(), right.data()};
    plugin.process(channels, channels, 2, 256);
    EXPECT_EQ(right, std::vector<float>(256, 0.0f));
}

namespace {

// ZamEQ2's state at its defaults but for `key`.
std::string zamEq2State(const std::string &key, const std::string &value)
{
    std::vector<std::pair<std::string, std::string>> values = {
        {"boost1", "0"}, {"bw1", "1"},    {"f1", "500"}, {"boost2", "0"}, {"bw2", "1"},     {"f2", "3000"},
        {"boostl", "0"}, {"fl", "250"},   {"boosth", "0"}, {"fh", "8000"}, {"master", "0"}, {"peaks", "0"}};
    for (auto &[name, current] : values)
        if (name == key)
            current = value;
    return dpfState(values);
}

double gainDb(VST3PluginInstance &plugin, double frequencyHz)
{
    const std::vector<float> input = sine(frequencyHz, 0.1f, 32768);
    return rmsDb(run(plugin, input, 1, 512), 8192) - rmsDb(input, 8192);
}

} // namespace

TEST(VST3PluginInstanceTest, CraftedStateSetsTheEqualiser)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("state.bin").toStdString();
    const struct
    {
        const char *key;
        const char *value;
        double at100Hz, at1kHz, at3kHz, at10kHz;  // expected gain in dB
        double tolerance;
    } cases[] = {
        {"master", "6", 6.0, 6.0, 6.0, 6.0, 0.1},
        // A 12 dB peak at 3 kHz, one octave wide: flat far below and above.
        {"boost2", "12", 0.0, std::nan(""), 12.0, 0.0, 0.3},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.key);
        std::ofstream(path, std::ios::binary) << zamEq2State(c.key, c.value);
        VST3PluginInstance plugin;
        ASSERT_TRUE(plugin.load(zamPath("ZamEQ2"), 44100, 512));
        ASSERT_TRUE(plugin.loadState(path));
        ASSERT_TRUE(plugin.activate());
        for (auto [frequency, expected] : {std::pair{100.0, c.at100Hz}, {1000.0, c.at1kHz}, {3000.0, c.at3kHz}, {10000.0, c.at10kHz}})
            if (!std::isnan(expected))
                EXPECT_NEAR(gainDb(plugin, frequency), expected, c.tolerance) << frequency << " Hz";
    }
}

TEST(VST3PluginInstanceTest, SavedStateStartsWithTheProgramAndMissingFilesFail)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("saved.bin").toStdString();
    VST3PluginInstance plugin;
    ASSERT_TRUE(plugin.load(zamPath("ZamEQ2"), 44100, 512));
    ASSERT_TRUE(plugin.saveState(path));
    std::ifstream file(path, std::ios::binary);
    const std::string saved((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_EQ(saved.rfind("__dpf_program__", 0), 0u);
    EXPECT_TRUE(plugin.loadState(path));

    EXPECT_FALSE(plugin.loadState(dir.filePath("missing.bin").toStdString()));
    EXPECT_FALSE(plugin.saveState(dir.filePath("no/such/folder/state.bin").toStdString()));
}

namespace {

std::string fileBytes(const QString &path)
{
    std::ifstream file(path.toStdString(), std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

} // namespace

// A preset saved over an older, longer one holds exactly the new state; a save cut short by
// a full disk or the file size limit keeps the old preset whole and leaves no temporary file.
TEST(VST3PluginInstanceTest, SavingOverAPresetReplacesItWholeOrNotAtAll)
{
    VST3PluginInstance plugin;
    ASSERT_TRUE(plugin.load(zamPath("ZamEQ2"), 44100, 512));
    QTemporaryDir fresh;
    ASSERT_TRUE(plugin.saveState(fresh.filePath("state.bin").toStdString()));
    const std::string state = fileBytes(fresh.filePath("state.bin"));
    ASSERT_GT(state.size(), 64u);
    const std::string old(state.size() + 5000, 'x');

    enum class Cut { None, FullDisk, FileSizeLimit };
    for (Cut cut : {Cut::None, Cut::FullDisk, Cut::FileSizeLimit}) {
        SCOPED_TRACE(int(cut));
        std::optional<SmallDisk> disk;
        QTemporaryDir plain;
        if (cut == Cut::FullDisk) {
            disk.emplace(64 * 1024);
            ZENTRIQ_REQUIRE(disk->mounted(), "mounting a small tmpfs needs root");
        }
        const QString folder = disk ? disk->path() : plain.path();
        const QString path = folder + QStringLiteral("/preset.bin");
        std::ofstream(path.toStdString(), std::ios::binary) << old;
        if (cut == Cut::FullDisk) {
            // Fills every free block, so not even a small state fits.
            std::ofstream filler((folder + QStringLiteral("/filler")).toStdString(), std::ios::binary);
            const std::string block(4096, 'f');
            while (filler.write(block.data(), std::streamsize(block.size())))
                filler.flush();
        }
        bool saved = false;
        {
            std::optional<FileSizeLimit> limit;
            if (cut == Cut::FileSizeLimit)
                limit.emplace(16);
            saved = plugin.saveState(path.toStdString());
        }
        EXPECT_EQ(saved, cut == Cut::None);
        const std::string kept = fileBytes(path);
        EXPECT_TRUE(kept == (cut == Cut::None ? state : old)) << kept.size() << " bytes on disk";
        const QStringList expected = cut == Cut::FullDisk ? QStringList{"filler", "preset.bin"} : QStringList{"preset.bin"};
        EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name), expected);
    }
}

TEST(VST3PluginInstanceTest, HostileModulesAreRefusedWithAReason)
{
    QTemporaryDir dir;
    const std::filesystem::path root(dir.path().toStdString());
    std::filesystem::create_directories(root / "Empty.vst3");
    std::ofstream(root / "Text.so") << "not a library\n";
    const struct
    {
        const char *what;
        std::string path;
        const char *reason;
    } cases[] = {
        {"empty bundle", (root / "Empty.vst3").string(), "Empty.so"},
        {"text file as library", (root / "Text.so").string(), "Text.so"},
        {"no GetPluginFactory", HOSTILE_NO_FACTORY, "GetPluginFactory"},
        {"null factory", HOSTILE_NULL_FACTORY, "no factory"},
        {"ModuleEntry fails", HOSTILE_ENTRY_FAILS, "ModuleEntry failed"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        VST3PluginInstance plugin;
        bool loaded = true;
        const std::string err = captured([&] { loaded = plugin.load(c.path, 44100, 512); }, std::cerr);
        EXPECT_FALSE(loaded);
        EXPECT_NE(err.find("VST3PluginInstance: Failed to load module: " + c.path + " error: "), std::string::npos) << err;
        EXPECT_NE(err.find(c.reason), std::string::npos) << err;
        EXPECT_EQ(plugin.getParameterCount(), 0);
    }
}
