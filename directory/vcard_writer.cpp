// Writing vCards (see vcard.h): one card per contact, version 3.0, lines folded at 75 bytes.
#include <string>
#include <string_view>

#include "directory/vcard.h"

namespace abonex {

namespace {

constexpr size_t kFoldAt = 75;  // bytes of a line before it is folded
constexpr std::string_view kCrLf = "\r\n";

std::string escapeText(std::string_view value) {
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case ',':
                out += "\\,";
                break;
            case ';':
                out += "\\;";
                break;
            case '\r':
                if (i + 1 < value.size() && value[i + 1] == '\n') ++i;
                out += "\\n";
                break;
            case '\n':
                out += "\\n";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// Appends `line` folded: a CR LF and a blank before every 75 bytes, never inside a character.
void appendFolded(std::string& out, std::string_view line) {
    size_t room = kFoldAt;
    while (line.size() > room) {
        size_t cut = room;
        while (cut > 0 && (static_cast<uint8_t>(line[cut]) & 0xC0) == 0x80) --cut;
        out.append(line.substr(0, cut));
        out += kCrLf;
        out += ' ';
        line.remove_prefix(cut);
        room = kFoldAt - 1;  // the blank that starts a continuation counts
    }
    out.append(line);
    out += kCrLf;
}

}  // namespace

std::string writeVcard(const Contact& contact, VcardStyle style) {
    std::string out;
    appendFolded(out, "BEGIN:VCARD");
    appendFolded(out, "VERSION:3.0");
    switch (style) {
        case VcardStyle::Person: {
            const size_t blank = contact.name.find(' ');
            const std::string surname = contact.name.substr(0, blank);
            const std::string given = blank == std::string::npos
                                          ? std::string()
                                          : trimmedVcardText(contact.name.substr(blank));
            appendFolded(out, "N:" + escapeText(surname) + ";" + escapeText(given) + ";;;");
            break;
        }
        case VcardStyle::Organisation:
            appendFolded(out, "N:;;;;");
            break;
        case VcardStyle::Plain:
            appendFolded(out, "N:" + escapeText(contact.name) + ";;;;");
            break;
    }
    appendFolded(out, "FN:" + escapeText(contact.name));
    if (style == VcardStyle::Organisation) appendFolded(out, "ORG:" + escapeText(contact.name));
    for (const std::string* phone : {&contact.phone1, &contact.phone2}) {
        if (!phone->empty()) appendFolded(out, "TEL;TYPE=VOICE:" + escapeText(*phone));
    }
    if (!contact.comment.empty()) appendFolded(out, "NOTE:" + escapeText(contact.comment));
    if (!contact.uid.empty()) appendFolded(out, "UID:" + contact.uid);
    appendFolded(out, "END:VCARD");
    return out;
}

}  // namespace abonex
