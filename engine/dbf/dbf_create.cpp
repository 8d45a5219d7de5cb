#include "engine/dbf/dbf_create.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "engine/dbf/dbf_table.h"
#include "engine/file/byte_order.h"
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
    bytes[dbf::kHdrVersion] = 0x03;
    stampHeaderDate(&bytes[dbf::kHdrUpdateDate], engineLocalNow());
    putLE16(&bytes[dbf::kHdrHeaderLength], static_cast<uint16_t>(headerLength));
    putLE16(&bytes[dbf::kHdrRecordLength], static_cast<uint16_t>(recordLength));
    bytes[dbf::kHdrLanguageDriver] = languageDriver;
    uint8_t* descriptor = &bytes[kDbfHeaderSize];
    for (const FieldSpec& field : fields) {
        std::string name = upperAscii(field.name);
        std::memcpy(descriptor + dbf::kFieldName, name.data(), name.size());
        descriptor[dbf::kFieldType] = static_cast<uint8_t>(field.type);
        if (field.type == 'C') {
            putLE16(descriptor + dbf::kFieldLength, static_cast<uint16_t>(field.length));
        } else {
            descriptor[dbf::kFieldLength] = static_cast<uint8_t>(field.length);
            descriptor[dbf::kFieldDecimals] = static_cast<uint8_t>(field.decimals);
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
