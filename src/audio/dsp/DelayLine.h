// SPDX-License-Identifier: GPL-3.0-or-later
// The delay and reverb core of the offline effects and the DSP class library: a circular delay
// line, the damped feedback comb and the all-pass diffuser built on it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

class DelayLine
{
public:
    DelayLine() = default;
    explicit DelayLine(std::size_t length) : buffer(length, 0.0f) {}

    std::size_t size() const { return buffer.size(); }
    // Keeps the samples that fit, and the write position wrapped into the new length.
    void resize(std::size_t length)
    {
        buffer.resize(length, 0.0f);
        if (!buffer.empty())
            index %= buffer.size();
    }
    // Silence. Where the silence starts does not matter, so the position stays.
    void clear() { std::fill(buffer.begin(), buffer.end(), 0.0f); }

    // The sample pushed `delay` pushes ago, for 1 <= delay <= size(); a delay of 0 reads as
    // size(). The line must not be empty.
    float tap(std::size_t delay) const { return buffer[(index + buffer.size() - delay) % buffer.size()]; }
    // The sample pushed size() pushes ago: the one the next push replaces.
    float oldest() const { return buffer[index]; }
    void push(float value)
    {
        buffer[index] = value;
        if (++index == buffer.size())
            index = 0;
    }

private:
    std::vector<float> buffer;
    std::size_t index = 0;
};

// A filter around one delay line, sized by its owner.
class LineFilter
{
public:
    LineFilter() = default;
    explicit LineFilter(std::size_t length) : line(length) {}

    std::size_t length() const { return line.size(); }
    void resize(std::size_t length) { line.resize(length); }

protected:
    DelayLine line;
};

// Feedback comb with a one-pole low pass in its loop (Schroeder and Moorer; Freeverb's comb).
class DampedComb : public LineFilter
{
public:
    using LineFilter::LineFilter;

    void clear()
    {
        line.clear();
        filterStore = 0.0f;
    }
    // `damping` is the low pass's weight of the newest sample (1: no damping); returns the
    // comb's output, the sample from one line length ago.
    float process(float input, float feedback, float damping)
    {
        const float delayed = line.oldest();
        filterStore = filterStore * (1.0f - damping) + delayed * damping;
        line.push(filterStore * feedback + input);
        return delayed;
    }

private:
    float filterStore = 0.0f;
};

// Schroeder all-pass diffuser with a gain of 0.5.
class AllPassDiffuser : public LineFilter
{
public:
    using LineFilter::LineFilter;

    void clear() { line.clear(); }
    float process(float input)
    {
        const float delayed = line.oldest();
        line.push(delayed * 0.5f + input);
        return delayed - 0.5f * input;
    }
};
