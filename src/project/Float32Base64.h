// SPDX-License-Identifier: GPL-3.0-or-later
// Base64 of little-endian float32 sample lists, streamed in pieces so that hour-long
// channels never have to exist as one text or one byte array.
#pragma once

#include <QtGlobal>

#include <array>
#include <functional>
#include <memory>
#include <span>
#include <vector>

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
        Decoder();
        Decoder(Decoder &&) noexcept;
        Decoder &operator=(Decoder &&) noexcept;
        ~Decoder();

        void feed(const char *text, qsizetype size);
        // Ends the text; true when everything fed was valid.
        bool finish();
        bool failed() const { return error; }
        qsizetype floatCount() const { return byteCount / 4; }
        // Writes the first `count` decoded floats to out[0], out[stride], ...; non-finite
        // values become 0. Frees the decoded bytes on the way, so an hour of audio is not
        // held twice; the decoder is empty afterwards. Returns how many values were replaced.
        qsizetype moveTo(float *out, qsizetype count, qsizetype stride);

    private:
        void emitQuad(quint32 bits, int bytes);
        void nextBlock();

        std::vector<std::unique_ptr<unsigned char[]>> blocks;
        std::vector<qsizetype> blockSizes;
        unsigned char *cursor = nullptr;
        unsigned char *blockEnd = nullptr;
        qsizetype byteCount = 0;
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
