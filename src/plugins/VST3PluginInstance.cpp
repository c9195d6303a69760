// SPDX-License-Identifier: GPL-3.0-or-later
// One VST3 plug-in loaded in-process: component, edit controller and audio processor.
#include "VST3PluginInstance.h"

#include "VST3HostObjects.h"
#include "platform/Vst3Module.h"

#include "audio/SaveFile.h"

#include <pluginterfaces/base/ipluginbase.h>
#include <pluginterfaces/vst/ivstmessage.h>
#include <pluginterfaces/vst/ivstprocesscontext.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>

using namespace Steinberg;

namespace {

std::string uidText(const std::array<std::uint8_t, 16> &cid)
{
    auto le32 = [&](int at) {
        return unsigned(cid[at]) | unsigned(cid[at + 1]) << 8 | unsigned(cid[at + 2]) << 16 | unsigned(cid[at + 3]) << 24;
    };
    auto le16 = [&](int at) { return unsigned(cid[at]) | unsigned(cid[at + 1]) << 8; };
    char text[33];
    std::snprintf(text, sizeof text, "%08X%04X%04X", le32(0), le16(4), le16(6));
    for (int i = 8; i < 16; ++i)
        std::snprintf(text + 16 + (i - 8) * 2, 3, "%02X", unsigned(cid[i]));
    return text;
}

template<class Interface>
IPtr<Interface> createFromFactory(IPluginFactory *factory, const std::array<std::uint8_t, 16> &cid)
{
    void *object = nullptr;
    if (factory->createInstance(reinterpret_cast<FIDString>(cid.data()), Interface::iid, &object) != kResultOk)
        return nullptr;
    return owned(static_cast<Interface *>(object));
}

template<class Interface>
IPtr<Interface> queryFrom(FUnknown *object)
{
    void *result = nullptr;
    if (!object || object->queryInterface(Interface::iid, &result) != kResultOk || !result)
        return nullptr;
    return owned(static_cast<Interface *>(result));
}

// Component and controller are one object when both answer with the same FUnknown.
bool sameObject(FUnknown *a, FUnknown *b)
{
    const IPtr<FUnknown> identityA = queryFrom<FUnknown>(a);
    const IPtr<FUnknown> identityB = queryFrom<FUnknown>(b);
    return identityA && identityA == identityB;
}

} // namespace

VST3PluginInstance::VST3PluginInstance() = default;

VST3PluginInstance::~VST3PluginInstance()
{
    unload();
}

bool VST3PluginInstance::load(const std::string &path, int rate, int maxBlockSize)
{
    if (loaded) {
        std::cerr << "VST3PluginInstance: Already loaded" << std::endl;
        return false;
    }
    modulePath = path;
    sampleRate = rate;
    blockSize = std::max(1, maxBlockSize);

    std::string error;
    module = Vst3Module::create(path, error, &failure);
    if (!module) {
        std::cerr << "VST3PluginInstance: Failed to load module: " << path << " error: " << error << std::endl;
        return false;
    }
    std::cout << "VST3PluginInstance: Module loaded: " << module->name() << std::endl;

    const std::vector<Vst3Module::ClassInfo> classes = module->classInfos();
    std::cout << "VST3PluginInstance: Factory has " << classes.size() << " classes" << std::endl;
    const Vst3Module::ClassInfo *audioClass = nullptr;
    const Vst3Module::ClassInfo *controllerClass = nullptr;
    for (const Vst3Module::ClassInfo &cls : classes) {
        std::cout << "VST3PluginInstance: Class: " << cls.name << " category: " << cls.category << std::endl;
        if (cls.category == kVstAudioEffectClass)
            audioClass = &cls;
        else if (cls.category == kVstComponentControllerClass)
            controllerClass = &cls;
    }
    if (!audioClass) {
        std::cerr << "VST3PluginInstance: No AudioEffect class found" << std::endl;
        failure = PluginLoadFailure::NoAudioClass;
        module.reset();
        return false;
    }
    info.name = audioClass->name;
    info.vendor = audioClass->vendor;
    info.uid = uidText(audioClass->cid);
    info.isInstrument = std::find(audioClass->subCategories.begin(), audioClass->subCategories.end(), "Instrument")
                        != audioClass->subCategories.end();

    IPluginFactory *factory = module->factory();
    component = createFromFactory<Vst::IComponent>(factory, audioClass->cid);
    if (!component) {
        std::cerr << "VST3PluginInstance: Failed to create IComponent" << std::endl;
        failure = PluginLoadFailure::ComponentNotCreated;
        module.reset();
        return false;
    }
    if (component->initialize(&g_hostApp) != kResultOk) {
        std::cerr << "VST3PluginInstance: Failed to initialize IComponent" << std::endl;
        failure = PluginLoadFailure::ComponentNotInitialised;
        component = nullptr;
        module.reset();
        return false;
    }

    controller = queryFrom<Vst::IEditController>(component);
    if (controller) {
        std::cout << "VST3PluginInstance: Controller from component (single-component)" << std::endl;
    } else if (controllerClass && (controller = createFromFactory<Vst::IEditController>(factory, controllerClass->cid))) {
        controller->initialize(&g_hostApp);
        std::cout << "VST3PluginInstance: Separate controller created" << std::endl;
    } else {
        TUID controllerId;
        std::array<std::uint8_t, 16> cid{};
        if (component->getControllerClassId(controllerId) == kResultOk) {
            std::memcpy(cid.data(), controllerId, 16);
            if ((controller = createFromFactory<Vst::IEditController>(factory, cid))) {
                controller->initialize(&g_hostApp);
                std::cout << "VST3PluginInstance: Controller from getControllerClassId" << std::endl;
            }
        }
    }
    if (controller) {
        controller->setComponentHandler(&g_compHandler);
        connectController();
    }

    setupBusses();

    processor = queryFrom<Vst::IAudioProcessor>(component);
    if (processor) {
        Vst::ProcessSetup setup{Vst::kRealtime, Vst::kSample32, blockSize, double(sampleRate)};
        processor->setupProcessing(setup);
        std::cout << "VST3PluginInstance: Audio processor configured" << std::endl;
    }
    prepareProcessBuffers();

    info.numInputChannels = numInputChannels;
    info.numOutputChannels = numOutputChannels;
    info.numParameters = controller ? controller->getParameterCount() : 0;
    info.path = path;
    loaded = true;
    std::cout << "VST3PluginInstance: Plugin loaded: " << info.name << std::endl;
    return true;
}

void VST3PluginInstance::connectController()
{
    if (!component || !controller)
        return;
    IPtr<Vst::IConnectionPoint> componentPoint = queryFrom<Vst::IConnectionPoint>(component);
    IPtr<Vst::IConnectionPoint> controllerPoint = queryFrom<Vst::IConnectionPoint>(controller);
    if (componentPoint && controllerPoint && !sameObject(component, controller)) {
        componentPoint->connect(controllerPoint);
        controllerPoint->connect(componentPoint);
        connected = true;
        std::cout << "VST3PluginInstance: Component↔Controller connected" << std::endl;
    }
    IPtr<VST3MemoryStream> stream = owned(new VST3MemoryStream);
    if (component->getState(stream) == kResultOk) {
        stream->seek(0, IBStream::kIBSeekSet, nullptr);
        controller->setComponentState(stream);
    }
}

void VST3PluginInstance::disconnectController()
{
    if (!connected)
        return;
    IPtr<Vst::IConnectionPoint> componentPoint = queryFrom<Vst::IConnectionPoint>(component);
    IPtr<Vst::IConnectionPoint> controllerPoint = queryFrom<Vst::IConnectionPoint>(controller);
    if (componentPoint && controllerPoint) {
        componentPoint->disconnect(controllerPoint);
        controllerPoint->disconnect(componentPoint);
    }
    connected = false;
}

void VST3PluginInstance::setupBusses()
{
    if (!component)
        return;
    auto setup = [this](Vst::BusDirection direction, std::int32_t &buses, std::int32_t &channels) {
        buses = 0;
        channels = 0;
        const int32 count = component->getBusCount(Vst::kAudio, direction);
        for (int32 i = 0; i < count; ++i) {
            Vst::BusInfo bus;
            if (component->getBusInfo(Vst::kAudio, direction, i, bus) != kResultOk)
                continue;
            const bool main = bus.busType == Vst::kMain;
            component->activateBus(Vst::kAudio, direction, i, main);
            if (main) {
                ++buses;
                channels += bus.channelCount;
            }
        }
    };
    setup(Vst::kInput, numInputBuses, numInputChannels);
    setup(Vst::kOutput, numOutputBuses, numOutputChannels);
    if (numOutputChannels == 0) {
        numOutputChannels = 2;
        numOutputBuses = 1;
    }
    std::cout << "VST3PluginInstance: Busses — in=" << numInputChannels << " out=" << numOutputChannels << std::endl;
}

void VST3PluginInstance::prepareProcessBuffers()
{
    zeroBuffer.assign(std::size_t(blockSize), 0.0f);
    scratchBuffer.assign(std::size_t(blockSize), 0.0f);
    inputBusBuffers.assign(std::size_t(numInputBuses), Vst::AudioBusBuffers{});
    outputBusBuffers.assign(std::size_t(numOutputBuses), Vst::AudioBusBuffers{});
    // A bus is given at most two channels.
    inputPointers.assign(std::size_t(numInputBuses) * 2, nullptr);
    outputPointers.assign(std::size_t(numOutputBuses) * 2, nullptr);
    eventList = owned(new VST3EventList);
    eventList->events.reserve(256);
    outputChanges = owned(new VST3ParameterChanges);
}

void VST3PluginInstance::unload()
{
    if (!loaded)
        return;
    releaseView();
    if (active) {
        component->setActive(false);
        active = false;
        std::cout << "VST3PluginInstance: Deactivated" << std::endl;
    }
    disconnectController();
    const bool singleComponent = controller && sameObject(component, controller);
    if (controller) {
        controller->setComponentHandler(nullptr);
        if (!singleComponent)
            controller->terminate();
        controller = nullptr;
    }
    processor = nullptr;
    component->terminate();
    component = nullptr;
    eventList = nullptr;
    outputChanges = nullptr;
    module.reset();
    loaded = false;
    modulePath.clear();
    std::cout << "VST3PluginInstance: Plugin unloaded" << std::endl;
}

bool VST3PluginInstance::activate()
{
    if (!component)
        return false;
    if (active)
        return true;
    if (component->setActive(true) != kResultOk)
        return false;
    active = true;
    std::cout << "VST3PluginInstance: Activated" << std::endl;
    return true;
}

void VST3PluginInstance::deactivate()
{
    if (!component || !active)
        return;
    component->setActive(false);
    active = false;
    std::cout << "VST3PluginInstance: Deactivated" << std::endl;
}

void VST3PluginInstance::process(float **inputs, float **outputs, int numChannels, int numFrames)
{
    if (numFrames <= 0 || numChannels < 0)
        return;
    if (!processor || !active) {
        for (int c = 0; c < numChannels; ++c) {
            if (!outputs || !outputs[c])
                continue;
            const float *from = numInputChannels != 0 && inputs ? inputs[c] : nullptr;
            if (from && from != outputs[c])
                std::copy_n(from, numFrames, outputs[c]);
            else if (numInputChannels == 0)
                std::fill_n(outputs[c], numFrames, 0.0f);
        }
        return;
    }

    {
        const std::lock_guard lock(midiMutex);
        eventList->events.clear();
        for (const MidiEvent &queued : midiQueue) {
            Vst::Event event{};
            event.busIndex = 0;
            event.sampleOffset = queued.sampleOffset;
            if (queued.kind == 0) {
                event.type = Vst::Event::kNoteOnEvent;
                event.noteOn = {int16(queued.channel), int16(queued.pitch), 0.0f, queued.velocity, 0, -1};
            } else if (queued.kind == 1) {
                event.type = Vst::Event::kNoteOffEvent;
                event.noteOff = {int16(queued.channel), int16(queued.pitch), queued.velocity, -1, 0.0f};
            } else {
                continue;
            }
            eventList->events.push_back(event);
        }
        midiQueue.clear();
    }

    // Plug-ins are set up for `blockSize` frames at most; more overruns their buffers.
    for (int offset = 0; offset < numFrames; offset += blockSize) {
        processBlock(inputs, outputs, numChannels, offset, std::min(blockSize, numFrames - offset));
        eventList->events.clear();
    }
}

void VST3PluginInstance::processBlock(float **inputs, float **outputs, int numChannels, int offset, int numFrames)
{
    auto channelAt = [&](float **arrays, int index, float *fallback) {
        return arrays && index < numChannels && arrays[index] ? arrays[index] + offset : fallback;
    };
    auto mapBuses = [&](std::vector<Vst::AudioBusBuffers> &buses, std::vector<float *> &pointers, int channels,
                        float **arrays, float *fallback) {
        int index = 0;
        for (std::size_t b = 0; b < buses.size(); ++b) {
            const int n = std::clamp(channels - index, 0, 2);
            buses[b].numChannels = n;
            buses[b].silenceFlags = 0;
            buses[b].channelBuffers32 = n > 0 ? &pointers[b * 2] : nullptr;
            for (int k = 0; k < n; ++k)
                pointers[b * 2 + std::size_t(k)] = channelAt(arrays, index + k, fallback);
            index += n;
        }
        return index;
    };
    mapBuses(inputBusBuffers, inputPointers, numInputChannels, inputs, zeroBuffer.data());
    // Refilled only when used: a plug-in may write into its inputs.
    if (std::find(inputPointers.begin(), inputPointers.end(), zeroBuffer.data()) != inputPointers.end())
        std::fill_n(zeroBuffer.begin(), numFrames, 0.0f);
    // Output channels the caller lacks are written to scratch and dropped.
    const int written = mapBuses(outputBusBuffers, outputPointers, numOutputChannels, outputs, scratchBuffer.data());

    Vst::ProcessContext context{};
    context.state = Vst::ProcessContext::kPlaying;
    context.sampleRate = double(sampleRate);

    outputChanges->clear();
    Vst::ProcessData data;
    data.processMode = Vst::kRealtime;
    data.symbolicSampleSize = Vst::kSample32;
    data.numSamples = numFrames;
    data.numInputs = numInputBuses;
    data.numOutputs = numOutputBuses;
    data.inputs = numInputBuses > 0 ? inputBusBuffers.data() : nullptr;
    data.outputs = numOutputBuses > 0 ? outputBusBuffers.data() : nullptr;
    data.inputParameterChanges = nullptr;
    data.outputParameterChanges = outputChanges;
    data.inputEvents = eventList->events.empty() ? nullptr : eventList.get();
    data.outputEvents = nullptr;
    data.processContext = &context;
    processor->process(data);

    // A mono plug-in on a stereo buffer leaves the second channel alone: silence it rather
    // than pass on whatever it held.
    for (int c = written; c < numChannels; ++c)
        if (outputs && outputs[c])
            std::fill_n(outputs[c] + offset, numFrames, 0.0f);
}

int VST3PluginInstance::getParameterCount() const
{
    return controller ? controller->getParameterCount() : 0;
}

std::string VST3PluginInstance::getParameterName(int index) const
{
    Vst::ParameterInfo parameter{};
    if (!controller || controller->getParameterInfo(index, parameter) != kResultOk)
        return {};
    std::string name;
    for (int i = 0; i < 127 && parameter.title[i] != 0; ++i)
        if (parameter.title[i] >= 1 && parameter.title[i] <= 127)
            name += char(parameter.title[i]);
    return name;
}

void VST3PluginInstance::setParameter(int index, float value)
{
    Vst::ParameterInfo parameter{};
    if (controller && controller->getParameterInfo(index, parameter) == kResultOk)
        controller->setParamNormalized(parameter.id, double(value));
}

float VST3PluginInstance::getParameter(int index) const
{
    Vst::ParameterInfo parameter{};
    if (!controller || controller->getParameterInfo(index, parameter) != kResultOk)
        return 0.0f;
    return float(controller->getParamNormalized(parameter.id));
}

bool VST3PluginInstance::showEditor(void *parentWindow)
{
    if (!controller)
        return false;
    if (!active && component) {
        if (component->setActive(true) != kResultOk) {
            std::cerr << "VST3PluginInstance: Failed to activate for the editor" << std::endl;
            return false;
        }
        active = true;
    }
    releaseView();
    view = owned(controller->createView(Vst::ViewType::kEditor));
    if (!view) {
        std::cerr << "VST3PluginInstance: Failed to create editor view" << std::endl;
        return false;
    }
    std::cout << "VST3PluginInstance: Editor view created" << std::endl;
    if (parentWindow)
        std::cerr << "VST3PluginInstance: Editor embedding not supported on this platform" << std::endl;
    else
        std::cout << "VST3PluginInstance: Editor view created without parent window (headless)" << std::endl;
    return true;
}

void VST3PluginInstance::hideEditor()
{
    releaseView();
}

// The view was never attached to a window, so it is released without a `removed` call.
void VST3PluginInstance::releaseView()
{
    view = nullptr;
}

bool VST3PluginInstance::getEditorSize(int &width, int &height) const
{
    ViewRect rect;
    if (!view || view->getSize(&rect) != kResultOk)
        return false;
    width = rect.right - rect.left;
    height = rect.bottom - rect.top;
    return true;
}

bool VST3PluginInstance::saveState(const std::string &path)
{
    if (!component)
        return false;
    IPtr<VST3MemoryStream> stream = owned(new VST3MemoryStream);
    if (component->getState(stream) != kResultOk)
        return false;
    // Through a temporary file renamed over the old one: a failed write keeps the old preset.
    SaveFile file(QString::fromStdString(path));
    const auto size = qint64(stream->data.size());
    return file.open(QIODevice::WriteOnly)
           && file.write(reinterpret_cast<const char *>(stream->data.data()), size) == size && file.commitWhole();
}

bool VST3PluginInstance::loadState(const std::string &path)
{
    if (!component)
        return false;
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    IPtr<VST3MemoryStream> stream = owned(new VST3MemoryStream);
    stream->data.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    if (file.bad())
        return false;
    if (component->setState(stream) != kResultOk)
        return false;
    if (controller) {
        stream->seek(0, IBStream::kIBSeekSet, nullptr);
        if (controller->setComponentState(stream) != kResultOk)
            return false;
    }
    return true;
}

void VST3PluginInstance::queueMidi(const MidiEvent &event)
{
    const std::lock_guard lock(midiMutex);
    midiQueue.push_back(event);
}

void VST3PluginInstance::sendNoteOn(int channel, int pitch, float velocity)
{
    queueMidi({0, channel, pitch, velocity, 0});
}

void VST3PluginInstance::sendNoteOff(int channel, int pitch, float velocity)
{
    queueMidi({1, channel, pitch, velocity, 0});
}

void VST3PluginInstance::sendMidiEvent(const unsigned char *data, int length)
{
    if (!data || length < 2)
        return;
    const int status = data[0];
    MidiEvent event{2, status & 0x0F, data[1] & 0x7F, 0.0f, 0};
    if (status >= 0x90 && status <= 0x9F) {
        // Without a velocity byte the message counts as a note-off.
        const int velocity = length >= 3 ? data[2] : 0;
        event.kind = velocity == 0 ? 1 : 0;
        event.velocity = float(velocity) / 127.0f;
    } else if (status >= 0x80 && status <= 0x8F) {
        event.kind = 1;
    }
    queueMidi(event);
}
