// The clipboard: text, images as packed DIBs, and formats that the program registers by name.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/graphics/gdi_records.h"
#include "platform/graphics/global_memory.h"

// Text in the clipboard (CF_DIB and CF_BITMAP come with the graphics records).
constexpr uint16_t CF_TEXT = 1;

// A format of the program's own, registered by name; the same name gives the same number.
uint16_t RegisterClipboardFormat(const std::string& Name);

class TClipboard
{
public:
    // Opening nests; the clipboard is one for the whole application. False when it cannot be
    // opened (then there is nothing to close).
    bool Open();
    void Close();
    void Clear();

    bool HasFormat(uint16_t Format) const;

    std::string AsText() const;
    void SetAsText(const std::string& Value);

    // Puts a copy of the block under the format. CF_DIB takes a packed DIB (a BITMAPINFOHEADER,
    // its colour table or masks, then the rows bottom row first), which other programs receive as
    // an image. The caller keeps its block.
    void SetAsHandle(uint16_t Format, HGLOBAL Data);
    // A new block (owned by the caller) with the format's data, or nullptr when there is none.
    // CF_DIB also converts an image put there by another program into a 24- or 32-bit packed DIB.
    HGLOBAL GetAsHandle(uint16_t Format) const;

    // The format's bytes, empty when there are none.
    std::vector<uint8_t> GetAsBytes(uint16_t Format) const;
    void SetAsBytes(uint16_t Format, const std::vector<uint8_t>& Data);

    // While set, Open fails as it does when another program holds the clipboard (a test seam).
    bool RefuseOpen = false;

private:
    int32_t FOpenCount = 0;
};

// The application's clipboard.
TClipboard* Clipboard();
