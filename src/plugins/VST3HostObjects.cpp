// SPDX-License-Identifier: GPL-3.0-or-later
// The small objects the host hands to a VST3 plug-in.
#include "VST3HostObjects.h"

#include <algorithm>
#include <cstring>

using namespace Steinberg;

VST3HostApplication g_hostApp;
VST3ComponentHandler g_compHandler;

tresult PLUGIN_API VST3HostApplication::getName(Vst::String128 name)
{
    static constexpr char hostName[] = "ZentriqStudio";
    std::size_t i = 0;
    for (; hostName[i] != '\0'; ++i)
        name[i] = Vst::TChar(static_cast<unsigned char>(hostName[i]));
    name[i] = 0;
    return kResultOk;
}

tresult PLUGIN_API VST3HostApplication::createInstance(TUID, TUID, void **obj)
{
    *obj = nullptr;
    return kResultFalse;
}

tresult PLUGIN_API VST3ComponentHandler::beginEdit(Vst::ParamID) { return kResultOk; }
tresult PLUGIN_API VST3ComponentHandler::performEdit(Vst::ParamID, Vst::ParamValue) { return kResultOk; }
tresult PLUGIN_API VST3ComponentHandler::endEdit(Vst::ParamID) { return kResultOk; }
tresult PLUGIN_API VST3ComponentHandler::restartComponent(int32) { return kResultOk; }

tresult PLUGIN_API VST3MemoryStream::read(void *buffer, int32 numBytes, int32 *numBytesRead)
{
    // A position before the start (after a negative seek) reads from the start.
    position = std::clamp<int64>(position, 0, int64(data.size()));
    const int64 available = int64(data.size()) - position;
    const int32 count = int32(std::clamp<int64>(std::min<int64>(numBytes, available), 0, INT32_MAX));
    if (count > 0) {
        std::memcpy(buffer, data.data() + position, std::size_t(count));
        position += count;
    }
    if (numBytesRead)
        *numBytesRead = count;
    return kResultOk;
}

tresult PLUGIN_API VST3MemoryStream::write(void *buffer, int32 numBytes, int32 *numBytesWritten)
{
    if (numBytes > 0) {
        const auto *bytes = static_cast<const std::uint8_t *>(buffer);
        data.insert(data.end(), bytes, bytes + numBytes);
        position = int64(data.size());
    }
    if (numBytesWritten)
        *numBytesWritten = numBytes > 0 ? numBytes : 0;
    return kResultOk;
}

tresult PLUGIN_API VST3MemoryStream::seek(int64 pos, int32 mode, int64 *result)
{
    switch (mode) {
    case kIBSeekSet: position = pos; break;
    case kIBSeekCur: position += pos; break;
    case kIBSeekEnd: position = int64(data.size()) + pos; break;
    default: break;
    }
    if (result)
        *result = position;
    return kResultOk;
}

tresult PLUGIN_API VST3MemoryStream::tell(int64 *pos)
{
    if (pos)
        *pos = position;
    return kResultOk;
}

int32 PLUGIN_API VST3EventList::getEventCount()
{
    return int32(events.size());
}

tresult PLUGIN_API VST3EventList::getEvent(int32 index, Vst::Event &event)
{
    if (index < 0 || index >= int32(events.size()))
        return kResultFalse;
    event = events[std::size_t(index)];
    return kResultOk;
}

tresult PLUGIN_API VST3EventList::addEvent(Vst::Event &event)
{
    events.push_back(event);
    return kResultOk;
}

int32 PLUGIN_API VST3ParamValueQueue::getPointCount()
{
    return int32(points.size());
}

tresult PLUGIN_API VST3ParamValueQueue::getPoint(int32 index, int32 &sampleOffset, Vst::ParamValue &value)
{
    if (index < 0 || index >= int32(points.size()))
        return kResultFalse;
    sampleOffset = points[std::size_t(index)].first;
    value = points[std::size_t(index)].second;
    return kResultOk;
}

tresult PLUGIN_API VST3ParamValueQueue::addPoint(int32 sampleOffset, Vst::ParamValue value, int32 &index)
{
    index = int32(points.size());
    points.emplace_back(sampleOffset, value);
    return kResultOk;
}

VST3ParameterChanges::~VST3ParameterChanges()
{
    for (VST3ParamValueQueue *queue : queues)
        queue->release();
}

int32 PLUGIN_API VST3ParameterChanges::getParameterCount()
{
    return used;
}

Vst::IParamValueQueue *PLUGIN_API VST3ParameterChanges::getParameterData(int32 index)
{
    return index >= 0 && index < used ? queues[std::size_t(index)] : nullptr;
}

Vst::IParamValueQueue *PLUGIN_API VST3ParameterChanges::addParameterData(const Vst::ParamID &id, int32 &index)
{
    for (int32 i = 0; i < used; ++i)
        if (queues[std::size_t(i)]->parameterId == id) {
            index = i;
            return queues[std::size_t(i)];
        }
    if (used == int32(queues.size()))
        queues.push_back(new VST3ParamValueQueue);
    VST3ParamValueQueue *queue = queues[std::size_t(used)];
    queue->parameterId = id;
    queue->points.clear();
    index = used++;
    return queue;
}

void VST3ParameterChanges::clear()
{
    used = 0;
}
