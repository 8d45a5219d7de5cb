#include "engine/dbf/memo_file.h"

#include <algorithm>
#include <array>
#include <optional>

#include "engine/file/byte_order.h"
#include "engine/file/engine_error.h"
#include "engine/file/path_util.h"

namespace abonex {

namespace {

constexpr uint32_t kHeaderLength = 512;
constexpr uint32_t kDBase3BlockLength = 512;
constexpr size_t kBlockHeaderLength = 8;  // dBASE IV and FoxPro memos start with one
constexpr uint8_t kDBase4MemoMark[4] = {0xFF, 0xFF, 0x08, 0x00};
constexpr size_t kDBase4BlockLengthOffset = 20;
constexpr size_t kFoxBlockLengthOffset = 6;
constexpr uint8_t kMemoEnd = 0x1A;
constexpr uint8_t kVisualFoxPro = 0x30;

}  // namespace

std::optional<MemoFile::Kind> MemoFile::kindFor(uint8_t version, uint8_t tableFlags) {
    switch (version) {
        case 0x83:
            return Kind::DBase3;
        case 0x8B:
            return Kind::DBase4;
        case 0xF5:
            return Kind::FoxPro;
        case kVisualFoxPro:
            if (tableFlags & kFlagMemo) return Kind::FoxPro;
            return std::nullopt;
        default:
            return std::nullopt;
    }
}

bool MemoFile::hasMemoFields(const GSO_dBaseDBF& table) {
    return std::any_of(table.fields().begin(), table.fields().end(),
                       [](const DbfField& field) { return field.type == 'M'; });
}

std::unique_ptr<MemoFile> MemoFile::openFor(const GSO_dBaseDBF& table) {
    const std::optional<Kind> kind = kindFor(table.version(), table.tableFlags());
    if (!kind) raiseEngineError(err::kMemoFormat, sub::kMemoRead, table.path());
    const std::string name =
        replaceExtension(table.path(), *kind == Kind::FoxPro ? ".FPT" : ".DBT");
    if (!fileExistsAnyCase(name)) raiseEngineError(err::kFileNotFound, sub::kOpen, name);
    auto file = std::make_unique<GSO_DiskFile>(name, true, false);
    return std::unique_ptr<MemoFile>(new MemoFile(std::move(file), *kind, table.version()));
}

MemoFile::MemoFile(std::unique_ptr<GSO_DiskFile> file, Kind kind, uint8_t tableVersion)
    : m_file(std::move(file)), m_kind(kind), m_tableVersion(tableVersion) {
    m_size = m_file->size();
    std::array<uint8_t, kHeaderLength> header{};
    // Writers of small files may end the header early; what is there must hold the length.
    const size_t got = m_file->read(0, header.data(), header.size());
    switch (m_kind) {
        case Kind::DBase3:
            m_blockLength = kDBase3BlockLength;
            break;
        case Kind::DBase4:
            if (got < kDBase4BlockLengthOffset + 2) damaged(0);
            m_blockLength = getLE16(&header[kDBase4BlockLengthOffset]);
            if (m_blockLength == 0) m_blockLength = kDBase3BlockLength;  // a writer left it out
            if (m_blockLength < kBlockHeaderLength) damaged(0);
            break;
        case Kind::FoxPro:
            if (got < kFoxBlockLengthOffset + 2) damaged(0);
            m_blockLength = getBE16(&header[kFoxBlockLengthOffset]);
            if (m_blockLength == 0) damaged(0);
            break;
    }
}

uint64_t MemoFile::blockCount() const {
    return (m_size + m_blockLength - 1) / m_blockLength;
}

void MemoFile::damaged(uint32_t block) const {
    std::string text = m_file->path();
    if (block > 0) text += " (block " + std::to_string(block) + ")";
    raiseEngineError(err::kMemoFormat, sub::kMemoRead, text);
}

uint32_t MemoFile::blockOf(const DbfField& field, std::string_view bytes) const {
    if (m_tableVersion == kVisualFoxPro && field.length == 4 && bytes.size() == 4) {
        return getLE32(reinterpret_cast<const uint8_t*>(bytes.data()));
    }
    while (!bytes.empty() && (bytes.front() == ' ' || bytes.front() == '\0')) {
        bytes.remove_prefix(1);
    }
    while (!bytes.empty() && (bytes.back() == ' ' || bytes.back() == '\0')) bytes.remove_suffix(1);
    uint64_t block = 0;
    for (char c : bytes) {
        if (c < '0' || c > '9') {
            raiseEngineError(err::kMemoFormat, sub::kMemoRead, path() + "->" + field.name);
        }
        block = block * 10 + static_cast<uint64_t>(c - '0');
        if (block > UINT32_MAX) {
            raiseEngineError(err::kMemoFormat, sub::kMemoRead, path() + "->" + field.name);
        }
    }
    return static_cast<uint32_t>(block);
}

std::string MemoFile::text(uint32_t block) {
    if (block == 0) return {};
    const uint64_t offset = static_cast<uint64_t>(block) * m_blockLength;
    // The header's own blocks hold no memo.
    if (offset < kHeaderLength || offset >= m_size) damaged(block);
    std::string out;
    if (m_kind == Kind::DBase3) {
        // The text runs to the first end mark; a file cut short ends it too.
        std::array<char, 4096> chunk{};
        for (uint64_t at = offset; at < m_size;) {
            const size_t want = static_cast<size_t>(std::min<uint64_t>(chunk.size(), m_size - at));
            const size_t got = m_file->read(at, chunk.data(), want);
            if (got == 0) break;
            const std::string_view piece(chunk.data(), got);
            const size_t end = piece.find(static_cast<char>(kMemoEnd));
            out.append(piece.substr(0, end));
            if (end != std::string_view::npos) break;
            at += got;
        }
        return out;
    }
    if (m_size - offset < kBlockHeaderLength) damaged(block);
    uint8_t head[kBlockHeaderLength];
    if (m_file->read(offset, head, sizeof head) != sizeof head) damaged(block);
    uint64_t length = 0;
    if (m_kind == Kind::DBase4) {
        if (!std::equal(head, head + 4, kDBase4MemoMark)) damaged(block);
        const uint32_t stored = getLE32(head + 4);
        if (stored < kBlockHeaderLength) damaged(block);
        length = stored - kBlockHeaderLength;
    } else {
        length = getBE32(head + 4);
    }
    if (length > m_size - offset - kBlockHeaderLength) damaged(block);
    out.resize(static_cast<size_t>(length));
    if (length > 0 &&
        m_file->read(offset + kBlockHeaderLength, out.data(), out.size()) != out.size()) {
        damaged(block);
    }
    return out;
}

std::string_view memoKindName(MemoFile::Kind kind) {
    switch (kind) {
        case MemoFile::Kind::DBase3:
            return "dBASE III";
        case MemoFile::Kind::DBase4:
            return "dBASE IV";
        case MemoFile::Kind::FoxPro:
            return "FoxPro";
    }
    return "";
}

}  // namespace abonex
