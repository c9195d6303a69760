// SPDX-License-Identifier: GPL-3.0-or-later
// The small objects the host hands to a VST3 plug-in: host context, component handler,
// memory stream, event list and the output parameter changes of one process call.
#pragma once

#include <pluginterfaces/base/ibstream.h>
#include <pluginterfaces/vst/ivsteditcontroller.h>
#include <pluginterfaces/vst/ivstevents.h>
#include <pluginterfaces/vst/ivsthostapplication.h>
#include <pluginterfaces/vst/ivstparameterchanges.h>

#include <cstdint>
#include <vector>

// Reference counting and interface query shared by every host object: each offers
// FUnknown and its one interface. Objects made with `new` start at a count of 1 and delete
// themselves at 0; the two process-wide objects (`deletesItself` false) never do, since a
// plug-in that releases too often must not free static storage.
template<class Derived, class Interface, bool deletesItself = true>
class VST3HostObject : public Interface
{
public:
    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void **obj) override
    {
        if (Steinberg::FUnknownPrivate::iidEqual(iid, Steinberg::FUnknown::iid)
            || Steinberg::FUnknownPrivate::iidEqual(iid, Interface::iid)) {
            addRef();
            *obj = static_cast<Interface *>(this);
            return Steinberg::kResultOk;
        }
        *obj = nullptr;
        return Steinberg::kNoInterface;
    }
    Steinberg::uint32 PLUGIN_API addRef() override
    {
        return Steinberg::uint32(Steinberg::FUnknownPrivate::atomicAdd(refCount, 1));
    }
    Steinberg::uint32 PLUGIN_API release() override
    {
        const Steinberg::int32 left = Steinberg::FUnknownPrivate::atomicAdd(refCount, -1);
        if (left == 0 && deletesItself) {
            delete static_cast<Derived *>(this);
            return 0;
        }
        return Steinberg::uint32(left > 0 ? left : 0);
    }
    Steinberg::int32 referenceCount() const { return refCount; }

protected:
    VST3HostObject() = default;
    ~VST3HostObject() = default;

private:
    Steinberg::int32 refCount = 1;
};

class VST3HostApplication final
    : public VST3HostObject<VST3HostApplication, Steinberg::Vst::IHostApplication, false>
{
public:
    Steinberg::tresult PLUGIN_API getName(Steinberg::Vst::String128 name) override;
    Steinberg::tresult PLUGIN_API createInstance(Steinberg::TUID cid, Steinberg::TUID iid, void **obj) override;
};

// Edits made in a plug-in's own editor are accepted and not recorded.
class VST3ComponentHandler final
    : public VST3HostObject<VST3ComponentHandler, Steinberg::Vst::IComponentHandler, false>
{
public:
    Steinberg::tresult PLUGIN_API beginEdit(Steinberg::Vst::ParamID id) override;
    Steinberg::tresult PLUGIN_API performEdit(Steinberg::Vst::ParamID id, Steinberg::Vst::ParamValue value) override;
    Steinberg::tresult PLUGIN_API endEdit(Steinberg::Vst::ParamID id) override;
    Steinberg::tresult PLUGIN_API restartComponent(Steinberg::int32 flags) override;
};

// A component's state in memory. Writes append; reads past the end are short, not failures,
// as plug-ins read their state in chunks until nothing is left.
class VST3MemoryStream final : public VST3HostObject<VST3MemoryStream, Steinberg::IBStream>
{
public:
    Steinberg::tresult PLUGIN_API read(void *buffer, Steinberg::int32 numBytes, Steinberg::int32 *numBytesRead) override;
    Steinberg::tresult PLUGIN_API write(void *buffer, Steinberg::int32 numBytes, Steinberg::int32 *numBytesWritten) override;
    Steinberg::tresult PLUGIN_API seek(Steinberg::int64 pos, Steinberg::int32 mode, Steinberg::int64 *result) override;
    Steinberg::tresult PLUGIN_API tell(Steinberg::int64 *pos) override;

    std::vector<std::uint8_t> data;
    Steinberg::int64 position = 0;
};

class VST3EventList final : public VST3HostObject<VST3EventList, Steinberg::Vst::IEventList>
{
public:
    Steinberg::int32 PLUGIN_API getEventCount() override;
    Steinberg::tresult PLUGIN_API getEvent(Steinberg::int32 index, Steinberg::Vst::Event &event) override;
    Steinberg::tresult PLUGIN_API addEvent(Steinberg::Vst::Event &event) override;

    std::vector<Steinberg::Vst::Event> events;
};

// One parameter's points of one process call.
class VST3ParamValueQueue final : public VST3HostObject<VST3ParamValueQueue, Steinberg::Vst::IParamValueQueue>
{
public:
    Steinberg::Vst::ParamID PLUGIN_API getParameterId() override { return parameterId; }
    Steinberg::int32 PLUGIN_API getPointCount() override;
    Steinberg::tresult PLUGIN_API getPoint(Steinberg::int32 index, Steinberg::int32 &sampleOffset,
                                           Steinberg::Vst::ParamValue &value) override;
    Steinberg::tresult PLUGIN_API addPoint(Steinberg::int32 sampleOffset, Steinberg::Vst::ParamValue value,
                                           Steinberg::int32 &index) override;

    Steinberg::Vst::ParamID parameterId = 0;
    std::vector<std::pair<Steinberg::int32, Steinberg::Vst::ParamValue>> points;
};

// The output parameter changes a plug-in reports from one block. DPF plug-ins write their
// output parameters here on every call, so the host must offer queues; `clear` empties the
// list for the next block and keeps the queues it made.
class VST3ParameterChanges final : public VST3HostObject<VST3ParameterChanges, Steinberg::Vst::IParameterChanges>
{
public:
    ~VST3ParameterChanges();
    Steinberg::int32 PLUGIN_API getParameterCount() override;
    Steinberg::Vst::IParamValueQueue *PLUGIN_API getParameterData(Steinberg::int32 index) override;
    Steinberg::Vst::IParamValueQueue *PLUGIN_API addParameterData(const Steinberg::Vst::ParamID &id,
                                                                  Steinberg::int32 &index) override;
    void clear();

private:
    std::vector<VST3ParamValueQueue *> queues;
    Steinberg::int32 used = 0;
};

extern VST3HostApplication g_hostApp;
extern VST3ComponentHandler g_compHandler;
