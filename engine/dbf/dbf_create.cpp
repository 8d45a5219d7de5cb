#include "engine/dbf/dbf_create.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "engine/dbf/dbf_table.h"
#include "engine/file/disk_file.h"
#include "engine/file/engine_error.h"
#include "engine/file/path_util.h"

namespace abonex {

void createDbfTable(std::string_view path, const std::vector<FieldSpec>& fields,
                    unsigned char languageDriver) {
    int recordLength = 1;
    for (const FieldSpec& field : fields) {
        bool validType =
            field.type == 'C' || field.type == 'D' || field.type == 'L' || field.type == 'N';
        int maxLength = field.type == 'C' ? 0xFFFF : 0xFF;
        if (field.name.empty() || field.name.size() > 10 || !validType || field.length < 1 ||
            field.length > maxLength || field.decimals < 0 || field.decimals > 0xFF) {
            raiseEngineError(err::kHeaderInvalid, sub::kCreate,
                             std::string(path) + "->" + field.name);
        }
        recordLength += field.length;
    }
    size_t headerLength = kDbfHeaderSize + fields.size() * kFieldDescriptorSize + 1;
    if (fields.empty() || recordLength > 0xFFFF || headerLength > 0xFFFF) {
        raiseEngineError(err::kHeaderInvalid, sub::kCreate, path);
    }

    std::vector<uint8_t> bytes(headerLength + 1, 0);
    LocalTimestamp now = engineLocalNow();
    bytes[0] = 0x03;
    bytes[1] = headerYearByte(now.year);
    bytes[2] = static_cast<uint8_t>(now.month);
    bytes[3] = static_cast<uint8_t>(now.day);
    bytes[8] = static_cast<uint8_t>(headerLength & 0xFF);
    bytes[9] = static_cast<uint8_t>(headerLength >> 8);
    bytes[10] = static_cast<uint8_t>(recordLength & 0xFF);
    bytes[11] = static_cast<uint8_t>(recordLength >> 8);
    bytes[29] = languageDriver;
    uint8_t* descriptor = &bytes[kDbfHeaderSize];
    for (const FieldSpec& field : fields) {
        std::string name = upperAscii(field.name);
        std::memcpy(descriptor, name.data(), name.size());
        descriptor[11] = static_cast<uint8_t>(field.type);
        if (field.type == 'C') {
            descriptor[16] = static_cast<uint8_t>(field.length & 0xFF);
            descriptor[17] = static_cast<uint8_t>(field.length >> 8);
        } else {
            descriptor[16] = static_cast<uint8_t>(field.length);
            descriptor[17] = static_cast<uint8_t>(field.decimals);
        }
        descriptor += kFieldDescriptorSize;
    }
    bytes[headerLength - 1] = kDescriptorTerminator;
    bytes[headerLength] = kEndOfFileMark;

    GSO_DiskFile::create(path);
    GSO_DiskFile file(path, false, true);
    file.write(0, bytes.data(), bytes.size());
    file.close();
}

}  // namespace abonex
