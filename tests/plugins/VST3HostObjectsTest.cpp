// SPDX-License-Identifier: GPL-3.0-or-later
// The host objects handed to plug-ins: name, interface query, counts, stream and event list.
#include "plugins/VST3HostObjects.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace Steinberg;

TEST(VST3HostObjectsTest, HostNameAndInterfaces)
{
    Vst::String128 name;
    EXPECT_EQ(g_hostApp.getName(name), kResultOk);
    const char expected[] = "ZentriqStudio";
    for (std::size_t i = 0; i <= std::strlen(expected); ++i)
        EXPECT_EQ(name[i], Vst::TChar(expected[i])) << i;

    void *obj = &obj;
    EXPECT_EQ(g_hostApp.createInstance(nullptr, nullptr, &obj), kResultFalse);
    EXPECT_EQ(obj, nullptr);

    auto *stream = new VST3MemoryStream;
    EXPECT_EQ(stream->queryInterface(FUnknown::iid, &obj), kResultOk);
    EXPECT_EQ(obj, static_cast<IBStream *>(stream));
    EXPECT_EQ(stream->referenceCount(), 2);
    EXPECT_EQ(stream->queryInterface(Vst::IEditController::iid, &obj), kNoInterface);
    EXPECT_EQ(obj, nullptr);
    EXPECT_EQ(stream->release(), 1u);
    EXPECT_EQ(stream->release(), 0u);  // deleted; ASan would see a later use
}

TEST(VST3HostObjectsTest, StreamReadsShortAndClampsNegativeSeeks)
{
    auto *stream = new VST3MemoryStream;
    char bytes[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    stream->write(bytes, 10, nullptr);
    char buffer[16] = {};
    int32 count = -1;
    int64 position = 0;

    stream->seek(4, IBStream::kIBSeekSet, nullptr);
    // Short reads succeed with the count, as plug-ins read their state in chunks.
    EXPECT_EQ(stream->read(buffer, 10, &count), kResultOk);
    EXPECT_EQ(count, 6);
    EXPECT_EQ(buffer[0], 4);
    EXPECT_EQ(stream->read(buffer, 10, &count), kResultOk);
    EXPECT_EQ(count, 0);

    stream->seek(0, IBStream::kIBSeekSet, nullptr);
    stream->write(bytes, 4, nullptr);
    stream->tell(&position);
    EXPECT_EQ(position, 14);
    EXPECT_EQ(stream->seek(-3, IBStream::kIBSeekEnd, &position), kResultOk);
    EXPECT_EQ(position, 11);
    EXPECT_EQ(stream->seek(0, 3, &position), kResultOk);
    EXPECT_EQ(position, 11);

    stream->seek(-100, IBStream::kIBSeekCur, nullptr);
    EXPECT_EQ(stream->read(buffer, 2, &count), kResultOk);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(buffer[1], 1);
    stream->release();
}

TEST(VST3HostObjectsTest, EventListAndParameterChanges)
{
    auto *events = new VST3EventList;
    Vst::Event event{};
    event.sampleOffset = 1;
    events->addEvent(event);
    event.sampleOffset = 2;
    events->addEvent(event);
    Vst::Event read{};
    EXPECT_EQ(events->getEvent(2, read), kResultFalse);
    EXPECT_EQ(events->getEvent(-1, read), kResultFalse);
    EXPECT_EQ(events->getEvent(1, read), kResultOk);
    EXPECT_EQ(read.sampleOffset, 2);
    events->release();

    auto *changes = new VST3ParameterChanges;
    int32 index = -1;
    Vst::IParamValueQueue *queue = changes->addParameterData(7, index);
    ASSERT_NE(queue, nullptr);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(changes->addParameterData(7, index), queue);
    EXPECT_EQ(changes->getParameterCount(), 1);
    changes->clear();
    EXPECT_EQ(changes->getParameterCount(), 0);
    EXPECT_EQ(changes->getParameterData(0), nullptr);
    changes->release();
}
