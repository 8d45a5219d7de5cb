#include "tests/reliability/power_cut_recorder.h"

#include <algorithm>
#include <cstring>

#include "tests/support/test_support.h"

namespace abonex::test {

namespace {

void applyOperation(PowerCutRecorder::Bytes& image, const PowerCutRecorder::Operation& operation) {
    if (operation.truncation) {
        image.resize(operation.offset, 0);
        return;
    }
    const uint64_t end = operation.offset + operation.landedBytes;
    if (operation.landedBytes == 0) return;
    if (image.size() < end) image.resize(end, 0);
    std::memcpy(image.data() + operation.offset, operation.bytes.data(), operation.landedBytes);
}

}  // namespace

PowerCutRecorder::PowerCutRecorder(unsigned seed) : m_random(seed) {}

PowerCutRecorder::~PowerCutRecorder() {
    stop();
}

void PowerCutRecorder::watch(const std::vector<std::string>& paths) {
    m_flushed.clear();
    m_pending.clear();
    m_afterCut.clear();
    m_inFlight = {};
    m_lastWritten.clear();
    m_writesLeft = -1;
    m_writes = 0;
    m_cut = false;
    for (const std::string& path : paths) {
        m_flushed[path] = readFileBytes(path);
        m_pending[path];
    }
    setDiskFileTap(this);
    m_installed = true;
}

void PowerCutRecorder::stop() {
    if (m_installed) setDiskFileTap(nullptr);
    m_installed = false;
}

void PowerCutRecorder::cutAfterWrites(int writes) {
    m_writesLeft = writes;
}

void PowerCutRecorder::cutNow() {
    if (!m_cut) cut(false);
}

bool PowerCutRecorder::watched(const std::string& path) const {
    return !m_cut && m_flushed.count(path) != 0;
}

void PowerCutRecorder::wrote(const std::string& path, uint64_t offset, const uint8_t* data,
                             size_t count) {
    if (!watched(path)) return;
    Operation write;
    write.offset = offset;
    write.bytes.assign(data, data + count);
    m_pending[path].push_back(std::move(write));
    m_lastWritten = path;
    ++m_writes;
    if (m_writesLeft > 0 && --m_writesLeft == 0) cut(true);
}

void PowerCutRecorder::flushed(const std::string& path) {
    if (!watched(path)) return;
    for (Operation& operation : m_pending[path]) {
        operation.landedBytes = operation.bytes.size();
        applyOperation(m_flushed[path], operation);
    }
    m_pending[path].clear();
    if (m_lastWritten == path) m_lastWritten.clear();
}

void PowerCutRecorder::truncated(const std::string& path, uint64_t length) {
    if (!watched(path)) return;
    Operation truncation;
    truncation.truncation = true;
    truncation.offset = length;
    m_pending[path].push_back(std::move(truncation));
}

void PowerCutRecorder::created(const std::string& path) {
    truncated(path, 0);
}

void PowerCutRecorder::cut(bool duringWrite) {
    // How much of what was not flushed reaches the disk varies from cut to cut: nothing, some,
    // or all of it.
    static constexpr double kShares[] = {0.0, 0.25, 0.5, 0.75, 1.0};
    const double share = kShares[m_random() % std::size(kShares)];
    std::uniform_real_distribution<double> chance(0.0, 1.0);
    if (duringWrite && !m_lastWritten.empty()) {
        m_inFlight = {m_lastWritten, m_pending[m_lastWritten].size() - 1, true};
    }
    for (auto& [path, operations] : m_pending) {
        Bytes image = m_flushed[path];
        for (size_t i = 0; i < operations.size(); ++i) {
            Operation& operation = operations[i];
            const bool inFlight =
                m_inFlight.any && m_inFlight.path == path && m_inFlight.index == i;
            operation.landed = chance(m_random) < share;
            operation.landedBytes = operation.landed ? operation.bytes.size() : 0;
            if (inFlight && !operation.truncation && !operation.bytes.empty() &&
                m_random() % 2 == 0) {
                // Torn: the sectors before the last one written whole, of the last only a part.
                const uint64_t end = operation.offset + operation.bytes.size();
                const uint64_t lastSector =
                    std::max(operation.offset, (end - 1) / kSectorSize * kSectorSize);
                const uint64_t inLast = end - lastSector;
                operation.landed = true;
                operation.landedBytes =
                    static_cast<size_t>(lastSector - operation.offset + m_random() % inLast);
            }
            if (operation.landed) applyOperation(image, operation);
        }
        m_afterCut[path] = std::move(image);
    }
    m_cut = true;
}

}  // namespace abonex::test
