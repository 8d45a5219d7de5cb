#include "engine/dbf/dbf_fields.h"

#include <algorithm>
#include <cstring>

#include "engine/file/engine_error.h"
#include "engine/file/path_util.h"

namespace abonex {

namespace {

bool isTextType(char type) {
    return type == 'C' || type == 'D' || type == 'L';
}

}  // namespace

const DbfField& GSO_dBaseFld::FindField(std::string_view name) const {
    std::string_view wanted = name;
    while (!wanted.empty() && wanted.back() == ' ') wanted.remove_suffix(1);
    std::string upperWanted = upperAscii(wanted);
    for (const DbfField& field : fields()) {
        if (upperAscii(field.name) == upperWanted) return field;
    }
    raiseEngineError(err::kFieldNameInvalid, sub::kFieldLookup, path() + "->" + std::string(name));
}

const DbfField& GSO_dBaseFld::fieldByNumber(int number) const {
    if (number < 1 || number > fieldCount()) {
        raiseEngineError(err::kFieldNameInvalid, sub::kFieldLookup,
                         path() + "->" + std::to_string(number));
    }
    return fields()[static_cast<size_t>(number - 1)];
}

std::string_view GSO_dBaseFld::fieldBytes(const DbfField& field) const {
    return {reinterpret_cast<const char*>(recordImage()) + field.offset,
            static_cast<size_t>(field.length)};
}

std::string_view fieldText(std::string_view bytes) {
    // Trailing blanks first, eight at a time: a wide field (a comment) is mostly blanks, and
    // a NUL is itself a byte the trimming takes, so the NUL is looked for only in what is left.
    constexpr uint64_t kEightBlanks = 0x2020202020202020ULL;
    const char* data = bytes.data();
    size_t size = bytes.size();
    for (uint64_t word = 0; size >= 8; size -= 8) {
        std::memcpy(&word, data + size - 8, 8);
        if (word != kEightBlanks) break;
    }
    while (size > 0 && static_cast<uint8_t>(data[size - 1]) <= 0x20) --size;
    if (const void* nul = std::memchr(data, '\0', size)) {
        size = static_cast<size_t>(static_cast<const char*>(nul) - data);
        while (size > 0 && static_cast<uint8_t>(data[size - 1]) <= 0x20) --size;
    }
    return {data, size};
}

std::string GSO_dBaseFld::FieldGet(const DbfField& field) const {
    if (!isTextType(field.type)) {
        raiseEngineError(err::kFieldWrongType, sub::kFieldType, field.name);
    }
    return std::string(fieldText(fieldBytes(field)));
}

void GSO_dBaseFld::FieldPut(const DbfField& field, std::string_view text) {
    if (!isTextType(field.type) && field.type != 'N' && field.type != 'F') {
        raiseEngineError(err::kFieldWrongType, sub::kFieldType, field.name);
    }
    uint8_t* target = recordImage() + field.offset;
    size_t width = static_cast<size_t>(field.length);
    std::memset(target, ' ', width);
    size_t count = std::min(text.size(), width);
    if (count > 0) {
        size_t start = isTextType(field.type) ? 0 : width - count;
        std::memcpy(target + start, text.data(), count);
    }
    markFieldChanged(field.number);
}

bool GSO_dBaseFld::fieldGetLogical(const DbfField& field) const {
    if (field.type != 'L') raiseEngineError(err::kFieldWrongType, sub::kFieldType, field.name);
    char c = fieldBytes(field).empty() ? ' ' : fieldBytes(field).front();
    return std::string_view("TtYyJj").find(c) != std::string_view::npos;
}

void GSO_dBaseFld::fieldPutLogical(const DbfField& field, bool value) {
    if (field.type != 'L') raiseEngineError(err::kFieldWrongType, sub::kFieldType, field.name);
    FieldPut(field, value ? "T" : "F");
}

}  // namespace abonex
