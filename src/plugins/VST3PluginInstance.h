// SPDX-License-Identifier: GPL-3.0-or-later
// One VST3 plug-in loaded in-process: component, edit controller and audio processor.
#pragma once

#include "PluginInfo.h"
#include "PluginLoadFailure.h"

#include <pluginterfaces/base/smartpointer.h>
#include <pluginterfaces/gui/iplugview.h>
#include <pluginterfaces/vst/ivstaudioprocessor.h>
#include <pluginterfaces/vst/ivstcomponent.h>
#include <pluginterfaces/vst/ivsteditcontroller.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

class Vst3Module;
class VST3EventList;
class VST3ParameterChanges;

// Not thread-safe except for the note and MIDI sends, which may come from any thread; the
// bridge serialises everything else. Progress goes to standard output, failures to standard
// error.
class VST3PluginInstance
{
public:
    struct MidiEvent
    {
        std::int32_t kind = 0;  // 0 note on, 1 note off, 2 other
        std::int32_t channel = 0;
        std::int32_t pitch = 0;
        float velocity = 0.0f;
        std::int32_t sampleOffset = 0;
    };

    VST3PluginInstance();
    ~VST3PluginInstance();
    VST3PluginInstance(const VST3PluginInstance &) = delete;
    VST3PluginInstance &operator=(const VST3PluginInstance &) = delete;

    // `path` is a bundle folder or its .so. `blockSize` is the largest block the plug-in is
    // set up for; process splits longer calls.
    bool load(const std::string &path, int sampleRate, int blockSize);
    // Why the last load failed; None after a successful one.
    PluginLoadFailure loadFailure() const { return failure; }
    void unload();
    bool activate();
    void deactivate();
    bool isActive() const { return active; }

    // Planar channels; `inputs` and `outputs` may be the same arrays. Output channels the
    // plug-in has no bus channel for are zeroed.
    void process(float **inputs, float **outputs, int numChannels, int numFrames);

    int getParameterCount() const;
    std::string getParameterName(int index) const;
    // Through the edit controller only; the processor is not told.
    void setParameter(int index, float value);
    float getParameter(int index) const;

    bool showEditor(void *parentWindow);
    void hideEditor();
    bool isEditorOpen() const { return view != nullptr; }
    bool getEditorSize(int &width, int &height) const;

    PluginInfo getInfo() const { return info; }
    bool saveState(const std::string &path);
    bool loadState(const std::string &path);

    void sendMidiEvent(const unsigned char *data, int length);
    void sendNoteOn(int channel, int pitch, float velocity);
    void sendNoteOff(int channel, int pitch, float velocity);

private:
    void connectController();
    void disconnectController();
    void setupBusses();
    void prepareProcessBuffers();
    void processBlock(float **inputs, float **outputs, int numChannels, int offset, int numFrames);
    void queueMidi(const MidiEvent &event);
    void releaseView();

    std::string modulePath;
    PluginInfo info;
    std::int32_t sampleRate = 44100;
    std::int32_t blockSize = 512;
    std::int32_t numInputChannels = 0;
    std::int32_t numOutputChannels = 2;
    std::int32_t numInputBuses = 0;
    std::int32_t numOutputBuses = 1;
    bool active = false;
    bool loaded = false;
    PluginLoadFailure failure = PluginLoadFailure::None;
    bool connected = false;
    std::shared_ptr<Vst3Module> module;
    Steinberg::IPtr<Steinberg::Vst::IComponent> component;
    Steinberg::IPtr<Steinberg::Vst::IEditController> controller;
    Steinberg::IPtr<Steinberg::Vst::IAudioProcessor> processor;
    Steinberg::IPtr<Steinberg::IPlugView> view;
    std::vector<MidiEvent> midiQueue;
    std::mutex midiMutex;

    // Made once at load, reused by every block.
    Steinberg::IPtr<VST3EventList> eventList;
    Steinberg::IPtr<VST3ParameterChanges> outputChanges;
    std::vector<float> zeroBuffer;
    std::vector<float> scratchBuffer;
    std::vector<Steinberg::Vst::AudioBusBuffers> inputBusBuffers;
    std::vector<Steinberg::Vst::AudioBusBuffers> outputBusBuffers;
    std::vector<float *> inputPointers;
    std::vector<float *> outputPointers;
};
