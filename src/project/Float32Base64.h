// SPDX-License-Identifier: GPL-3.0-or-later
// Base64 of little-endian float32 sample lists, streamed in pieces so that hour-long
// channels never have to exist as one text.
#pragma once

#include <QList>
#include <QtGlobal>

#include <array>
#include <functional>
#include <memory>

class Float32Base64
{
public:
    // The RFC 4648 alphabet; "=" pads the last group.
    static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

    // Whether a character may stand in Base64 text: a letter of the alphabet or "=".
    static bool isTextCharacter(unsigned char c);

    // Receives the encoded text piece by piece; returns false to stop (a failed write).
    using TextSink = std::function<bool(const char *text, qsizetype size)>;

    // Encodes `count` floats read at data[0], data[stride], ... as standard padded Base64.
    // Returns false when the sink refused a piece.
    static bool encode(const float *data, qsizetype count, qsizetype stride, const TextSink &sink);

    // Strict decoder: only the RFC 4648 alphabet, "=" only as the one or two last characters
    // of the last group, whole groups of four, and a byte count that is a multiple of four.
    // Anything else fails, so a damaged channel can never load with its samples shifted.
    class Decoder
    {
    public:
        // Room for the floats of `textSize` characters, when the caller knows how long the
        // text is: growing a list piece by piece copies it each time it moves.
        void reserve(qsizetype textSize) { floats.reserve(textSize / 4 * 3 / 4); }
        void feed(const char *text, qsizetype size);
        // Ends the text; true when everything fed was valid.
        bool finish();
        bool failed() const { return error; }
        qsizetype floatCount() const { return floats.size(); }
        // How many decoded values were not finite and stand as 0.
        qsizetype replacedCount() const { return replaced; }
        // The decoded floats, non-finite ones as 0; the decoder is empty afterwards. Handing
        // over the list itself, an hour of audio is neither held twice nor copied.
        QList<float> take();
        // Writes the first `count` decoded floats to out[0], out[stride], ... and empties the
        // decoder.
        void moveTo(float *out, qsizetype count, qsizetype stride);

    private:
        // Turns the whole floats among the staged bytes into samples.
        void flushStaged();

        // Decoded bytes wait here until they make whole floats; a multiple of 12, so it
        // fills with whole groups of three bytes and empties into whole floats. Held only
        // while text is fed.
        static constexpr int stagedCapacity = 12 * 1024;
        std::unique_ptr<unsigned char[]> staged;
        int stagedBytes = 0;
        // Grows by reallocation, which moves the pages of a large list instead of copying.
        QList<float> floats;
        qsizetype replaced = 0;
        quint32 pending = 0;  // sextets of the group being read
        int pendingCount = 0;
        int padding = 0;
        bool ended = false;  // a padded group closed the text
        bool error = false;
    };
};

namespace Internal {
inline constexpr std::array<bool, 256> base64TextCharacters = [] {
    std::array<bool, 256> characters{};
    for (int i = 0; i < 64; ++i)
        characters[static_cast<unsigned char>(Float32Base64::alphabet[i])] = true;
    characters['='] = true;
    return characters;
}();
} // namespace Internal

// Inline: scanning a document's long strings asks this of every character.
inline bool Float32Base64::isTextCharacter(unsigned char c)
{
    return Internal::base64TextCharacters[c];
}
