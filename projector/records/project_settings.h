// The project settings record (resource ST, its per-user copy in the registry, or a settings
// file): window appearance, placement, interaction, behaviour, the help file and the about box.
// Fields are transferred one by one in the order declared here.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "projector/records/byte_stream.h"
#include "projector/records/record_io.h"

namespace quill::project {

// Win32's LOGFONTA as the record stores it; the face name holds at most 31 characters.
struct LogFont {
    int32_t height = 0;
    int32_t width = 0;
    int32_t escapement = 0;
    int32_t orientation = 0;
    int32_t weight = 0;
    uint8_t italic = 0;
    uint8_t underline = 0;
    uint8_t strikeOut = 0;
    uint8_t charSet = 0;
    uint8_t outPrecision = 0;
    uint8_t clipPrecision = 0;
    uint8_t quality = 0;
    uint8_t pitchAndFamily = 0;
    std::string faceName;

    bool operator==(const LogFont&) const = default;
};

inline constexpr size_t kFaceNameChars = 31;

struct ProjectSettings {
    // Section 1: product texts shown by the about box.
    HeapString productName;
    HeapString secondText;
    HeapString companyName;
    HeapString legalNotice;
    HeapString fifthText;
    HeapString sixthText;
    HeapString versionText;

    // Section 2: window appearance.
    uint32_t windowShape = 0;   // 0 rectangle, 1 and 3 transparent background, 2 mask
    uint32_t frameStyle = 0;    // bit 0 pop-up, 4 caption, 8 sizing border, 12 tool window,
                                // 16 no forced taskbar button
    uint32_t frameButtons = 0;  // bit 0 maximize, 4 minimize, 8 system menu, 12 help
    uint32_t frameParam = 0;    // scale mode: 1 show all, 2 no border, 256 exact fit, 16 no scale
    std::string maskName;
    std::string windowTitle;

    // Section 3: placement.
    uint32_t sizeMode = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    uint32_t positionMode = 0;
    uint16_t x = 0;
    uint16_t y = 0;
    uint32_t keepAspect = 0;

    // Section 4: interaction.
    uint32_t interactionA = 0;  // left button
    uint32_t interactionB = 0;  // right button
    uint32_t inputFlags = 0;
    uint32_t closeFlags = 0;
    uint32_t taskbarFlag = 0;
    uint16_t closeKey = 0;
    uint16_t closeModifiers = 0;

    // Section 5: behaviour.
    uint32_t systemMenuFlags = 0;
    uint32_t windowFlags = 0;

    // Section 6: a block nobody interprets (stored as a u32 byte count and the bytes) and an
    // unused string.
    std::vector<uint8_t> reservedBlock;
    HeapString reservedText;

    // Section 7: miscellaneous; the help file is an embedded file (full path once extracted).
    uint32_t miscFlags = 0;
    uint32_t miscParam = 0;
    std::string helpFile;

    // Section 8: about box.
    HeapString publisherName;
    HeapString webAddress;
    HeapString linkText;
    HeapString emailAddress;
    uint32_t aboutColor1 = 0;
    uint32_t aboutColor2 = 0;
    LogFont aboutFont1;
    LogFont aboutFont2;
    uint32_t aboutFlags = 0;
    uint32_t aboutValue = 0;
    std::string aboutPicture;  // embedded file
    std::string aboutText;

    // Section 9: carried, not used.
    uint32_t trailerValue1 = 0;
    HeapString trailerText1;
    uint32_t trailerValue2 = 0;
    std::array<uint8_t, 16> trailerBytes{};
    uint32_t trailerValue3 = 0;
    std::string trailerText2;
    uint16_t trailerShort1 = 0;
    uint16_t trailerShort2 = 0;

    bool operator==(const ProjectSettings&) const = default;
};

// Reads the record field by field. A field the stream cannot fill keeps its previous value (the
// stream is not checked for its length); the result says whether every field was read. The two
// embedded files are written into target.workFolder; a refused name or a file that cannot be
// written is reported and its bytes are stepped over.
bool ReadProjectSettings(ProjectSettings* settings, ByteStream& stream,
                         const ExtractTarget& target);

// Writes the record; the embedded files are read from the paths in helpFile and aboutPicture.
// False when the stream refused bytes; throws TextError when an embedded file cannot be read.
bool WriteProjectSettings(const ProjectSettings& settings, ByteStream& stream,
                          const TextCodec& codec = ansiCodec());

}  // namespace quill::project
