// SPDX-License-Identifier: GPL-3.0-or-later
// The .zqp document: key tables, Base64 float32 channels, the older number-array audio,
// and the repairs that keep damaged values from reaching the editor and the engines.
#include "project/ProjectSerializer.h"

#include "project/ExtractedStrings.h"
#include "project/Float32Base64.h"
#include "project/ProjectLimits.h"

#include <QDate>
#include <QDateTime>
#include <QDebug>
#include <QJsonArray>
#include <QUuid>

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace {

const QString defaultTrackColor = QStringLiteral("#4A90D9");

QString isoNowUtc()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
}

QString encodeInline(const QList<float> &list, qsizetype first, qsizetype stride, qsizetype count)
{
    QByteArray text;
    text.reserve((count * 4 + 2) / 3 * 4);
    Float32Base64::encode(list.constData() + first, count, stride, [&text](const char *piece, qsizetype size) {
        text.append(piece, size);
        return true;
    });
    return QString::fromLatin1(text);
}

// Every key read, its default standing in for an absent or ill-typed value.
MidiNote deserializeNote(const QJsonObject &object)
{
    MidiNote note;
    note.pitch = object.value(QStringLiteral("pitch")).toInt(60);
    note.start = object.value(QStringLiteral("start")).toDouble(0.0);
    note.duration = object.value(QStringLiteral("duration")).toDouble(0.5);
    note.velocity = object.value(QStringLiteral("velocity")).toInt(100);
    return note;
}

bool isFiniteFloat(double value)
{
    return std::isfinite(value) && std::fabs(value) <= double(FLT_MAX);
}

// Counts what the document declares before anything is built from it, so a file of more
// than the editor can show is refused at once instead of filling memory and the window.
bool withinLimits(const QJsonArray &tracks, ProjectLoadReport *report)
{
    const auto refuse = [report](ProjectLoadReport::Excess excess, qsizetype declared, const char *what) {
        qWarning() << "ProjectSerializer: refused," << declared << what << "are more than the editor can show";
        if (report) {
            report->excess = excess;
            report->declared = declared;
        }
        return false;
    };
    if (tracks.size() > ProjectLimits::maxTracks)
        return refuse(ProjectLoadReport::Excess::Tracks, tracks.size(), "tracks");
    qsizetype clips = 0;
    qsizetype notes = 0;
    for (const QJsonValue &track : tracks) {
        const QJsonObject object = track.toObject();
        const QJsonArray midiClips = object.value(QStringLiteral("midiClips")).toArray();
        clips += object.value(QStringLiteral("audioBlocks")).toArray().size() + midiClips.size();
        for (const QJsonValue &clip : midiClips)
            notes += clip.toObject().value(QStringLiteral("notes")).toArray().size();
    }
    if (clips > ProjectLimits::maxClips)
        return refuse(ProjectLoadReport::Excess::Clips, clips, "clips");
    if (notes > ProjectLimits::maxNotes)
        return refuse(ProjectLoadReport::Excess::Notes, notes, "notes");
    return true;
}

} // namespace

struct ProjectSerializer::ReadContext
{
    ExtractedStrings *extracted = nullptr;
    ProjectLoadReport *report = nullptr;
    bool failed = false;

    // A rate outside what devices and files use: a clip of 1 Hz would last hours and a
    // project of 1 Hz would play one block for minutes. Read as 44100 Hz, and reported.
    int sampleRate(int rate, const char *what) const
    {
        if (ProjectLimits::supportedSampleRate(rate))
            return rate;
        qWarning() << "ProjectSerializer:" << what << "sample rate" << rate << "replaced by"
                   << ProjectLimits::fallbackSampleRate;
        if (report && std::find(report->replacedRates.begin(), report->replacedRates.end(), rate)
                          == report->replacedRates.end())
            report->replacedRates.push_back(rate);
        return ProjectLimits::fallbackSampleRate;
    }

    // Strings of the document, with extracted placeholders standing for their text.
    QString string(const QJsonValue &value, const QString &fallback = QString()) const
    {
        if (!value.isString())
            return fallback;
        const QString text = value.toString();
        const int index = extracted ? extracted->indexOf(text) : -1;
        return index < 0 ? text : extracted->text(index);
    }

    // A float field; a number too large for a float takes the field's default.
    float toFloat(const QJsonValue &value, float fallback, const char *what) const
    {
        const double number = value.toDouble(fallback);
        if (isFiniteFloat(number))
            return float(number);
        qWarning() << "ProjectSerializer: out-of-range" << what << "replaced by" << fallback;
        return fallback;
    }

    // The decoded Base64 channel: an extracted one, or `value` decoded into `local`.
    Float32Base64::Decoder *channel(const QJsonValue &value, Float32Base64::Decoder &local) const
    {
        const QString text = value.toString();
        const int index = extracted ? extracted->indexOf(text) : -1;
        if (index >= 0)
            return &extracted->channel(index);
        const QByteArray bytes = text.toLatin1();
        local.feed(bytes.constData(), bytes.size());
        local.finish();
        return &local;
    }
};

QJsonDocument ProjectSerializer::saveProject(const QString &name, const std::vector<TrackData> &tracks,
                                             const ProjectSettings &settings, double currentTime, double zoom,
                                             const std::vector<TimelineMarker> &markers)
{
    return buildDocument(name, tracks, settings, currentTime, zoom, markers, nullptr);
}

bool ProjectSerializer::loadProject(const QJsonDocument &document, ProjectData &project, ProjectLoadReport *report)
{
    return readDocument(document, project, nullptr, report);
}

QJsonDocument ProjectSerializer::buildDocument(const QString &name, const std::vector<TrackData> &tracks,
                                               const ProjectSettings &settings, double currentTime, double zoom,
                                               const std::vector<TimelineMarker> &markers,
                                               OutgoingChannels *outgoing)
{
    QJsonObject root;
    const QString now = isoNowUtc();
    root[QStringLiteral("id")] = QUuid::createUuid().toString(QUuid::WithoutBraces);
    root[QStringLiteral("name")] = name.isEmpty() ? QStringLiteral("Untitled") : name;
    root[QStringLiteral("createdAt")] = now;
    root[QStringLiteral("updatedAt")] = now;
    root[QStringLiteral("version")] = QStringLiteral("1.0.0");
    root[QStringLiteral("settings")] = serializeSettings(settings);
    root[QStringLiteral("currentTime")] = currentTime;
    root[QStringLiteral("zoom")] = zoom;

    QJsonArray trackArray;
    for (const TrackData &track : tracks)
        trackArray.append(serializeTrack(track, outgoing));
    root[QStringLiteral("tracks")] = trackArray;
    root[QStringLiteral("effects")] = QJsonArray();

    QJsonArray markerArray;
    for (const TimelineMarker &marker : markers) {
        QJsonObject object;
        object[QStringLiteral("time")] = marker.time;
        object[QStringLiteral("label")] = marker.label;
        object[QStringLiteral("color")] = marker.color.name();
        markerArray.append(object);
    }
    root[QStringLiteral("markers")] = markerArray;
    root[QStringLiteral("automation")] = QJsonArray();

    QJsonObject metadata;
    metadata[QStringLiteral("artist")] = QString();
    metadata[QStringLiteral("album")] = QString();
    metadata[QStringLiteral("genre")] = QString();
    metadata[QStringLiteral("year")] = QDate::currentDate().year();
    metadata[QStringLiteral("description")] = QString();
    metadata[QStringLiteral("tags")] = QJsonArray();
    root[QStringLiteral("metadata")] = metadata;
    return QJsonDocument(root);
}

QJsonObject ProjectSerializer::serializeSettings(const ProjectSettings &settings)
{
    QJsonObject object;
    object[QStringLiteral("sampleRate")] = settings.sampleRate;
    object[QStringLiteral("bitDepth")] = settings.bitDepth;
    object[QStringLiteral("channels")] = settings.channels;
    object[QStringLiteral("tempo")] = settings.tempo;
    object[QStringLiteral("timeSignature")] = settings.timeSignature;
    object[QStringLiteral("midiFileTempo")] = settings.midiFileTempo;
    return object;
}

QJsonObject ProjectSerializer::serializeTrack(const TrackData &track, OutgoingChannels *outgoing)
{
    QJsonObject object;
    const bool midi = track.type == TrackType::Midi;
    object[QStringLiteral("type")] = midi ? QStringLiteral("midi") : QStringLiteral("audio");
    object[QStringLiteral("name")] = track.name;
    // An invalid colour would be written as black and come back black; write the default instead.
    object[QStringLiteral("color")] = track.color.isValid() ? track.color.name() : QColor(defaultTrackColor).name();
    object[QStringLiteral("volume")] = double(track.volume);
    object[QStringLiteral("pan")] = double(track.pan);
    object[QStringLiteral("muted")] = track.muted;
    object[QStringLiteral("solo")] = track.solo;
    object[QStringLiteral("envelopeEnabled")] = track.envelopeEnabled;
    if (!track.volumeEnvelope.empty()) {
        QJsonArray points;
        for (const EnvelopePoint &point : track.volumeEnvelope) {
            QJsonObject p;
            p[QStringLiteral("time")] = point.time;
            p[QStringLiteral("value")] = double(point.value);
            points.append(p);
        }
        object[QStringLiteral("volumeEnvelope")] = points;
    }
    if (midi) {
        QJsonArray clips;
        for (const MidiClip &clip : track.midiClips)
            clips.append(serializeMidiClip(clip));
        object[QStringLiteral("midiClips")] = clips;
        object[QStringLiteral("instrumentIndex")] = track.instrumentIndex;
        object[QStringLiteral("midiChannel")] = track.midiChannel;
    } else {
        QJsonArray blocks;
        for (const AudioClip &clip : track.audioClips)
            blocks.append(serializeAudioClip(clip, outgoing));
        object[QStringLiteral("audioBlocks")] = blocks;
    }
    return object;
}

QJsonObject ProjectSerializer::serializeMidiClip(const MidiClip &clip)
{
    QJsonArray notes;
    for (const MidiNote &note : clip.notes) {
        QJsonObject n;
        n[QStringLiteral("pitch")] = note.pitch;
        n[QStringLiteral("start")] = note.start;
        n[QStringLiteral("duration")] = note.duration;
        n[QStringLiteral("velocity")] = note.velocity;
        notes.append(n);
    }
    QJsonObject object;
    object[QStringLiteral("start")] = clip.start;
    object[QStringLiteral("duration")] = clip.duration;
    object[QStringLiteral("notes")] = notes;
    return object;
}

QJsonObject ProjectSerializer::serializeAudioClip(const AudioClip &clip, OutgoingChannels *outgoing)
{
    QJsonObject object;
    object[QStringLiteral("start")] = clip.start;
    object[QStringLiteral("duration")] = clip.length();
    object[QStringLiteral("audioStart")] = clip.audioStart;
    object[QStringLiteral("audioEnd")] = clip.audioEnd;
    object[QStringLiteral("fadeIn")] = clip.fadeIn;
    object[QStringLiteral("fadeOut")] = clip.fadeOut;
    object[QStringLiteral("fadeInCurve")] = clip.fadeInCurve;
    object[QStringLiteral("fadeOutCurve")] = clip.fadeOutCurve;
    object[QStringLiteral("audioData")] = serializeAudioData(clip, outgoing);
    return object;
}

QJsonObject ProjectSerializer::serializeAudioData(const AudioClip &clip, OutgoingChannels *outgoing)
{
    const auto channelText = [outgoing](const QList<float> &list, qsizetype first, qsizetype stride,
                                        qsizetype count) -> QString {
        if (!outgoing)
            return encodeInline(list, first, stride, count);
        outgoing->channels.push_back({list, first, stride, count});
        return outgoing->prefix + QString::number(outgoing->channels.size() - 1);
    };

    QJsonArray channels;
    channels.append(channelText(clip.samples, 0, 1, clip.samples.size()));
    if (!clip.stereoSamples.isEmpty()) {
        // A trailing odd float has no partner and is not written.
        const qsizetype frames = clip.stereoSamples.size() / 2;
        channels.append(channelText(clip.stereoSamples, 0, 2, frames));
        channels.append(channelText(clip.stereoSamples, 1, 2, frames));
    }

    QJsonObject object;
    object[QStringLiteral("type")] = QStringLiteral("embedded");
    object[QStringLiteral("format")] = QStringLiteral("float32_base64");
    object[QStringLiteral("sampleRate")] = clip.sampleRate;
    object[QStringLiteral("duration")] = clip.length();
    object[QStringLiteral("length")] = qint64(clip.samples.size());
    object[QStringLiteral("channels")] = channels;
    return object;
}

bool ProjectSerializer::readDocument(const QJsonDocument &document, ProjectData &project,
                                     ExtractedStrings *extracted, ProjectLoadReport *report)
{
    if (!document.isObject()) {
        qWarning() << "ProjectSerializer: root is not an object";
        return false;
    }
    const QJsonObject root = document.object();
    if (!root.contains(QStringLiteral("tracks")) || !root.contains(QStringLiteral("version"))) {
        qWarning() << "ProjectSerializer: missing required fields (tracks/version)";
        return false;
    }

    const QJsonArray tracks = root.value(QStringLiteral("tracks")).toArray();
    if (!withinLimits(tracks, report))
        return false;
    ReadContext context{extracted, report};
    // Filled aside so a failure half-way leaves the caller's record as it was.
    ProjectData result = project;
    result.id = context.string(root.value(QStringLiteral("id")));
    result.name = context.string(root.value(QStringLiteral("name")), QStringLiteral("Untitled"));
    result.version = context.string(root.value(QStringLiteral("version")), QStringLiteral("1.0.0"));
    result.currentTime = root.value(QStringLiteral("currentTime")).toDouble(0.0);
    result.zoom = root.value(QStringLiteral("zoom")).toDouble(1.0);
    if (root.contains(QStringLiteral("settings")))
        result.settings = deserializeSettings(root.value(QStringLiteral("settings")).toObject(), context);

    result.tracks.clear();
    result.tracks.reserve(tracks.size());
    for (const QJsonValue &track : tracks) {
        result.tracks.push_back(deserializeTrack(track.toObject(), context));
        if (context.failed)
            return false;
    }

    result.markers.clear();
    if (root.contains(QStringLiteral("markers"))) {
        for (const QJsonValue &value : root.value(QStringLiteral("markers")).toArray()) {
            const QJsonObject object = value.toObject();
            TimelineMarker marker;
            marker.time = object.value(QStringLiteral("time")).toDouble(0.0);
            marker.label = context.string(object.value(QStringLiteral("label")));
            if (object.contains(QStringLiteral("color")))
                marker.color = QColor::fromString(context.string(object.value(QStringLiteral("color"))));
            result.markers.push_back(marker);
        }
        const auto byTime = [](const TimelineMarker &a, const TimelineMarker &b) { return a.time < b.time; };
        if (!std::is_sorted(result.markers.begin(), result.markers.end(), byTime)) {
            qWarning() << "ProjectSerializer: markers out of time order, sorted";
            std::stable_sort(result.markers.begin(), result.markers.end(), byTime);
        }
    }

    project = std::move(result);
    qDebug() << "ProjectSerializer: loaded" << project.name << project.tracks.size() << "track(s), version"
             << project.version;
    return true;
}

ProjectSettings ProjectSerializer::deserializeSettings(const QJsonObject &object, ReadContext &context)
{
    ProjectSettings settings;
    if (object.contains(QStringLiteral("sampleRate")))
        settings.sampleRate = object.value(QStringLiteral("sampleRate")).toInt(0);
    if (object.contains(QStringLiteral("bitDepth")))
        settings.bitDepth = object.value(QStringLiteral("bitDepth")).toInt(0);
    if (object.contains(QStringLiteral("channels")))
        settings.channels = object.value(QStringLiteral("channels")).toInt(0);
    if (object.contains(QStringLiteral("tempo")))
        settings.tempo = object.value(QStringLiteral("tempo")).toDouble(0.0);
    if (object.contains(QStringLiteral("timeSignature")))
        settings.timeSignature = context.string(object.value(QStringLiteral("timeSignature")));

    // The engines divide by the rate and the ruler by the tempo.
    settings.sampleRate = context.sampleRate(settings.sampleRate, "project");
    if (!(settings.tempo > 0.0) || !std::isfinite(settings.tempo)) {
        qWarning() << "ProjectSerializer: tempo" << settings.tempo << "replaced by 120";
        settings.tempo = ProjectSettings().tempo;
    }
    // Older files lack the MIDI reference tempo: their MIDI plays as stored.
    settings.midiFileTempo = object.value(QStringLiteral("midiFileTempo")).toDouble(settings.tempo);
    if (!(settings.midiFileTempo > 0.0) || !std::isfinite(settings.midiFileTempo)) {
        qWarning() << "ProjectSerializer: MIDI file tempo" << settings.midiFileTempo << "replaced by" << settings.tempo;
        settings.midiFileTempo = settings.tempo;
    }
    return settings;
}

TrackData ProjectSerializer::deserializeTrack(const QJsonObject &object, ReadContext &context)
{
    TrackData track;
    if (context.string(object.value(QStringLiteral("type")), QStringLiteral("audio")) == QLatin1String("midi"))
        track.type = TrackType::Midi;
    track.name = context.string(object.value(QStringLiteral("name")));
    const QString colorText = context.string(object.value(QStringLiteral("color")), defaultTrackColor);
    track.color = QColor::fromString(colorText);
    if (!track.color.isValid()) {
        // Unparseable would mean black in every view; keep the usual track colour.
        qWarning() << "ProjectSerializer: invalid track colour" << colorText << "replaced by" << defaultTrackColor;
        track.color = QColor::fromString(defaultTrackColor);
    }
    track.volume = context.toFloat(object.value(QStringLiteral("volume")), 0.8f, "volume");
    track.pan = context.toFloat(object.value(QStringLiteral("pan")), 0.0f, "pan");
    track.muted = object.value(QStringLiteral("muted")).toBool(false);
    track.solo = object.value(QStringLiteral("solo")).toBool(false);
    track.envelopeEnabled = object.value(QStringLiteral("envelopeEnabled")).toBool(false);

    if (object.contains(QStringLiteral("volumeEnvelope"))) {
        for (const QJsonValue &value : object.value(QStringLiteral("volumeEnvelope")).toArray()) {
            const QJsonObject p = value.toObject();
            track.volumeEnvelope.push_back({p.value(QStringLiteral("time")).toDouble(0.0),
                                            context.toFloat(p.value(QStringLiteral("value")), 0.8f, "envelope value")});
        }
        // Stable, so two points at one time (a step) keep their order.
        std::stable_sort(track.volumeEnvelope.begin(), track.volumeEnvelope.end(),
                         [](const EnvelopePoint &a, const EnvelopePoint &b) { return a.time < b.time; });
    }

    if (track.type == TrackType::Midi) {
        for (const QJsonValue &value : object.value(QStringLiteral("midiClips")).toArray())
            track.midiClips.push_back(deserializeMidiClip(value.toObject(), context));
        track.instrumentIndex = object.value(QStringLiteral("instrumentIndex")).toInt(0);
        track.midiChannel = object.value(QStringLiteral("midiChannel")).toInt(0);
        if (track.midiChannel < 0 || track.midiChannel > 15) {
            qWarning() << "ProjectSerializer: MIDI channel" << track.midiChannel << "brought into 0..15";
            track.midiChannel = std::clamp(track.midiChannel, 0, 15);
        }
        return track;
    }

    for (const QJsonValue &value : object.value(QStringLiteral("audioBlocks")).toArray()) {
        track.audioClips.push_back(deserializeAudioClip(value.toObject(), context));
        if (context.failed)
            return track;
    }
    if (track.audioClips.empty() && object.contains(QStringLiteral("audioData"))) {
        // An older layout kept one clip's audio, as numbers, in the track itself.
        const QJsonObject data = object.value(QStringLiteral("audioData")).toObject();
        if (context.string(data.value(QStringLiteral("type"))) == QLatin1String("embedded")) {
            QJsonObject block;
            QJsonObject numberData = data;
            numberData.remove(QStringLiteral("format"));
            block[QStringLiteral("audioData")] = numberData;
            track.audioClips.push_back(deserializeAudioClip(block, context));
        }
    }
    return track;
}

MidiClip ProjectSerializer::deserializeMidiClip(const QJsonObject &object, ReadContext &)
{
    MidiClip clip;
    clip.start = object.value(QStringLiteral("start")).toDouble(0.0);
    clip.duration = object.value(QStringLiteral("duration")).toDouble(4.0);
    int repaired = 0;
    for (const QJsonValue &value : object.value(QStringLiteral("notes")).toArray()) {
        MidiNote note = deserializeNote(value.toObject());
        // The instruments index their key and velocity tables with these.
        if (note.pitch < 0 || note.pitch > 127 || note.velocity < 0 || note.velocity > 127) {
            note.pitch = std::clamp(note.pitch, 0, 127);
            note.velocity = std::clamp(note.velocity, 0, 127);
            ++repaired;
        }
        clip.notes.push_back(note);
    }
    if (repaired > 0)
        qWarning() << "ProjectSerializer:" << repaired << "note(s) with pitch or velocity brought into 0..127";
    return clip;
}

AudioClip ProjectSerializer::deserializeAudioClip(const QJsonObject &object, ReadContext &context)
{
    AudioClip clip;
    clip.start = object.value(QStringLiteral("start")).toDouble(0.0);
    clip.audioStart = object.value(QStringLiteral("audioStart")).toDouble(0.0);
    clip.audioEnd = object.value(QStringLiteral("audioEnd")).toDouble(0.0);
    clip.fadeIn = object.value(QStringLiteral("fadeIn")).toDouble(0.0);
    clip.fadeOut = object.value(QStringLiteral("fadeOut")).toDouble(0.0);
    clip.fadeInCurve = object.value(QStringLiteral("fadeInCurve")).toInt(0);
    clip.fadeOutCurve = object.value(QStringLiteral("fadeOutCurve")).toInt(0);
    for (double *span : {&clip.audioStart, &clip.audioEnd, &clip.fadeIn, &clip.fadeOut}) {
        if (!(*span >= 0.0) || !std::isfinite(*span)) {
            qWarning() << "ProjectSerializer: negative trim or fade" << *span << "replaced by 0";
            *span = 0.0;
        }
    }

    if (!object.contains(QStringLiteral("audioData")))
        return clip;
    const QJsonObject data = object.value(QStringLiteral("audioData")).toObject();
    if (context.string(data.value(QStringLiteral("type"))) != QLatin1String("embedded"))
        return clip;
    clip.sampleRate = context.sampleRate(data.value(QStringLiteral("sampleRate")).toInt(44100), "clip");
    const QJsonArray channels = data.value(QStringLiteral("channels")).toArray();
    qsizetype nonFinite = 0;

    if (context.string(data.value(QStringLiteral("format"))) == QLatin1String("float32_base64")) {
        if (!channels.isEmpty()) {
            Float32Base64::Decoder local;
            Float32Base64::Decoder *mono = context.channel(channels.at(0), local);
            if (mono->failed()) {
                context.failed = true;
            } else {
                nonFinite += mono->replacedCount();
                clip.samples = mono->take();
            }
        }
        if (channels.size() > 2 && !context.failed) {
            Float32Base64::Decoder localLeft, localRight;
            Float32Base64::Decoder *left = context.channel(channels.at(1), localLeft);
            Float32Base64::Decoder *right = context.channel(channels.at(2), localRight);
            if (left->failed() || right->failed()) {
                context.failed = true;
            } else {
                // Empty channels leave the list without storage to point into.
                if (const qsizetype frames = std::min(left->floatCount(), right->floatCount()); frames > 0) {
                    clip.stereoSamples.resize(2 * frames);
                    nonFinite += left->replacedCount() + right->replacedCount();
                    left->moveTo(clip.stereoSamples.data(), frames, 2);
                    right->moveTo(clip.stereoSamples.data() + 1, frames, 2);
                }
            }
        }
        if (context.failed) {
            qWarning() << "ProjectSerializer: audio data is not valid Base64 of float32 samples";
            return clip;
        }
    } else {
        const auto readNumber = [&nonFinite](const QJsonValue &value) {
            const double number = value.toDouble(0.0);
            if (isFiniteFloat(number))
                return float(number);
            ++nonFinite;
            return 0.0f;
        };
        if (!channels.isEmpty()) {
            const QJsonArray mono = channels.at(0).toArray();
            clip.samples.reserve(mono.size());
            for (const QJsonValue &value : mono)
                clip.samples.append(readNumber(value));
        }
        if (channels.size() > 2) {
            const QJsonArray left = channels.at(1).toArray();
            const QJsonArray right = channels.at(2).toArray();
            const qsizetype frames = std::min(left.size(), right.size());
            clip.stereoSamples.reserve(2 * frames);
            for (qsizetype i = 0; i < frames; ++i) {
                clip.stereoSamples.append(readNumber(left.at(i)));
                clip.stereoSamples.append(readNumber(right.at(i)));
            }
        }
    }
    if (nonFinite > 0)
        qWarning() << "ProjectSerializer:" << nonFinite << "non-finite sample(s) loaded as 0";
    if (!clip.stereoSamples.isEmpty() && clip.stereoSamples.size() / 2 != clip.samples.size()) {
        // Views and export read the stereo list frame by frame alongside the mono list.
        qWarning() << "ProjectSerializer: stereo audio of" << clip.stereoSamples.size() / 2 << "frames beside"
                   << clip.samples.size() << "mono samples dropped";
        clip.stereoSamples.clear();
    }
    return clip;
}
