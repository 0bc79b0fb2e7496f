// ReadProjectSettings and WriteProjectSettings: the settings record field by field, in the order
// of its sections.
#include "projector/records/project_settings.h"

#include "projector/records/embedded_file.h"

namespace quill::project {
namespace {

bool readFont(RecordReader& in, LogFont* font) {
    return in.readI32(&font->height) && in.readI32(&font->width) && in.readI32(&font->escapement) &&
           in.readI32(&font->orientation) && in.readI32(&font->weight) &&
           in.readU8(&font->italic) && in.readU8(&font->underline) && in.readU8(&font->strikeOut) &&
           in.readU8(&font->charSet) && in.readU8(&font->outPrecision) &&
           in.readU8(&font->clipPrecision) && in.readU8(&font->quality) &&
           in.readU8(&font->pitchAndFamily) && in.readBufferString(&font->faceName, kFaceNameChars);
}

void writeFont(RecordWriter& out, const LogFont& font) {
    out.writeI32(font.height);
    out.writeI32(font.width);
    out.writeI32(font.escapement);
    out.writeI32(font.orientation);
    out.writeI32(font.weight);
    out.writeU8(font.italic);
    out.writeU8(font.underline);
    out.writeU8(font.strikeOut);
    out.writeU8(font.charSet);
    out.writeU8(font.outPrecision);
    out.writeU8(font.clipPrecision);
    out.writeU8(font.quality);
    out.writeU8(font.pitchAndFamily);
    out.writeBufferString(font.faceName);
}

}  // namespace

bool ReadProjectSettings(ProjectSettings* s, ByteStream& stream, const ExtractTarget& target) {
    RecordReader in(stream, *target.codec);
    // Every field is read in turn; once the stream has ended the rest keep their values.
    return in.readHeapString(&s->productName) && in.readHeapString(&s->secondText) &&
           in.readHeapString(&s->companyName) && in.readHeapString(&s->legalNotice) &&
           in.readHeapString(&s->fifthText) && in.readHeapString(&s->sixthText) &&
           in.readHeapString(&s->versionText) &&
           // Section 2
           in.readU32(&s->windowShape) && in.readU32(&s->frameStyle) &&
           in.readU32(&s->frameButtons) && in.readU32(&s->frameParam) &&
           in.readBufferString(&s->maskName) && in.readBufferString(&s->windowTitle) &&
           // Section 3
           in.readU32(&s->sizeMode) && in.readU16(&s->width) && in.readU16(&s->height) &&
           in.readU32(&s->positionMode) && in.readU16(&s->x) && in.readU16(&s->y) &&
           in.readU32(&s->keepAspect) &&
           // Section 4
           in.readU32(&s->interactionA) && in.readU32(&s->interactionB) &&
           in.readU32(&s->inputFlags) && in.readU32(&s->closeFlags) &&
           in.readU32(&s->taskbarFlag) && in.readU16(&s->closeKey) &&
           in.readU16(&s->closeModifiers) &&
           // Section 5
           in.readU32(&s->systemMenuFlags) && in.readU32(&s->windowFlags) &&
           // Section 6
           in.readBlock(&s->reservedBlock) && in.readHeapString(&s->reservedText) &&
           // Section 7
           in.readU32(&s->miscFlags) && in.readU32(&s->miscParam) &&
           readEmbeddedFile(in, &s->helpFile, target) &&
           // Section 8
           in.readHeapString(&s->publisherName) && in.readHeapString(&s->webAddress) &&
           in.readHeapString(&s->linkText) && in.readHeapString(&s->emailAddress) &&
           in.readU32(&s->aboutColor1) && in.readU32(&s->aboutColor2) &&
           readFont(in, &s->aboutFont1) && readFont(in, &s->aboutFont2) &&
           in.readU32(&s->aboutFlags) && in.readU32(&s->aboutValue) &&
           readEmbeddedFile(in, &s->aboutPicture, target) && in.readBufferString(&s->aboutText) &&
           // Section 9
           in.readU32(&s->trailerValue1) && in.readHeapString(&s->trailerText1) &&
           in.readU32(&s->trailerValue2) &&
           in.readBytes(s->trailerBytes.data(), s->trailerBytes.size()) &&
           in.readU32(&s->trailerValue3) && in.readBufferString(&s->trailerText2) &&
           in.readU16(&s->trailerShort1) && in.readU16(&s->trailerShort2);
}

bool WriteProjectSettings(const ProjectSettings& s, ByteStream& stream, const TextCodec& codec) {
    RecordWriter out(stream, codec);
    for (const HeapString* text : {&s.productName, &s.secondText, &s.companyName, &s.legalNotice,
                                   &s.fifthText, &s.sixthText, &s.versionText}) {
        out.writeHeapString(*text);
    }
    out.writeU32(s.windowShape);
    out.writeU32(s.frameStyle);
    out.writeU32(s.frameButtons);
    out.writeU32(s.frameParam);
    out.writeBufferString(s.maskName);
    out.writeBufferString(s.windowTitle);

    out.writeU32(s.sizeMode);
    out.writeU16(s.width);
    out.writeU16(s.height);
    out.writeU32(s.positionMode);
    out.writeU16(s.x);
    out.writeU16(s.y);
    out.writeU32(s.keepAspect);

    out.writeU32(s.interactionA);
    out.writeU32(s.interactionB);
    out.writeU32(s.inputFlags);
    out.writeU32(s.closeFlags);
    out.writeU32(s.taskbarFlag);
    out.writeU16(s.closeKey);
    out.writeU16(s.closeModifiers);

    out.writeU32(s.systemMenuFlags);
    out.writeU32(s.windowFlags);

    out.writeBlock(s.reservedBlock);
    out.writeHeapString(s.reservedText);

    out.writeU32(s.miscFlags);
    out.writeU32(s.miscParam);
    out.writeEmbeddedFile(s.helpFile);

    for (const HeapString* text : {&s.publisherName, &s.webAddress, &s.linkText, &s.emailAddress}) {
        out.writeHeapString(*text);
    }
    out.writeU32(s.aboutColor1);
    out.writeU32(s.aboutColor2);
    writeFont(out, s.aboutFont1);
    writeFont(out, s.aboutFont2);
    out.writeU32(s.aboutFlags);
    out.writeU32(s.aboutValue);
    out.writeEmbeddedFile(s.aboutPicture);
    out.writeBufferString(s.aboutText);

    out.writeU32(s.trailerValue1);
    out.writeHeapString(s.trailerText1);
    out.writeU32(s.trailerValue2);
    out.writeBytes(s.trailerBytes.data(), s.trailerBytes.size());
    out.writeU32(s.trailerValue3);
    out.writeBufferString(s.trailerText2);
    out.writeU16(s.trailerShort1);
    out.writeU16(s.trailerShort2);
    return out.ok();
}

}  // namespace quill::project
