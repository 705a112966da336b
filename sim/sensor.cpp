// The sensor model's geometry and signal, and frame rendering through one
// lookup table per colour filter.
#include "sim/sensor.h"

#include <algorithm>
#include <cstring>

namespace sim {

namespace {

constexpr size_t kSectorBytes = 512;

using SignalTable = std::array<uint8_t, 256>;

int GroupOfReadMode(uint16_t readMode) {
    switch (readMode & kReadModeSkipMask) {
        case kReadModeSkip4:
            return 4;
        case kReadModeSkip8:
            return 8;
        default:
            return 2;
    }
}

std::array<SignalTable, 4> SignalTables(const Scene& scene, const SensorSettings& settings) {
    std::array<SignalTable, 4> tables{};
    for (size_t filter = 0; filter < tables.size(); ++filter) {
        for (int value = 0; value < 256; ++value) {
            auto sample = static_cast<uint8_t>(value);
            tables[filter][value] =
                scene.IsRaw() ? sample : Signal(sample, settings.exposure, settings.gains[filter]);
        }
    }
    return tables;
}

struct RowJob {
    const Scene& scene;
    const SensorSettings& settings;
    const std::array<SignalTable, 4>& tables;
    int squareLeft;
};

void RenderRow(const RowJob& job, int row, uint8_t* out, int columns) {
    int sensorY = job.settings.SensorRow(row);
    if (sensorY < 0 || sensorY >= kSensorHeight) {
        return;
    }
    const uint8_t* sceneRow = job.scene.Row(sensorY);
    const SignalTable* rowTables = &job.tables[FilterIndex(0, sensorY)];
    const auto& square = job.scene.Moving();
    bool squareRow = square && sensorY >= square->top && sensorY < square->top + square->size;
    int squareRight = squareRow ? job.squareLeft + square->size : job.squareLeft;
    for (int column = 0; column < columns; ++column) {
        int sensorX = job.settings.SensorColumn(column);
        if (sensorX < 0 || sensorX >= kSensorWidth) {
            continue;
        }
        bool inSquare = sensorX >= job.squareLeft && sensorX < squareRight;
        uint8_t value = inSquare ? square->value : sceneRow[sensorX];
        out[column] = rowTables[sensorX & 1][value];
    }
}

}  // namespace

SensorSettings SensorSettings::FromRegisters(const RegisterFile& registers) {
    SensorSettings settings;
    settings.originX = registers.Read(reg::kFirstColumn) - kColumnAddressOffset;
    settings.originY = registers.Read(reg::kFirstRow);
    settings.width = registers.Read(reg::kOutputWidth);
    settings.height = registers.Read(reg::kOutputHeight);
    uint16_t readMode = registers.Read(reg::kReadMode);
    settings.group = GroupOfReadMode(readMode);
    settings.flipV = (readMode & kReadModeFlipV) != 0;
    settings.exposure = registers.Read(reg::kExposure);
    settings.gains[FilterIndex(0, 0)] = registers.Read(reg::kGreen1Gain) & kGainMask;
    settings.gains[FilterIndex(1, 0)] = registers.Read(reg::kRedGain) & kGainMask;
    settings.gains[FilterIndex(0, 1)] = registers.Read(reg::kBlueGain) & kGainMask;
    settings.gains[FilterIndex(1, 1)] = registers.Read(reg::kGreen2Gain) & kGainMask;
    return settings;
}

size_t SensorSettings::FrameBytes() const {
    size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
    return (pixels + kSectorBytes - 1) / kSectorBytes * kSectorBytes;
}

// Skipping keeps the first two rows of every group: delivered row r comes
// from group * (r / 2) + r % 2, counted after the flip reverses the rows.
int SensorSettings::SensorRow(int row) const {
    int windowRow = flipV ? height - 1 - row : row;
    return originY + group * (windowRow / 2) + windowRow % 2;
}

int SensorSettings::SensorColumn(int column) const {
    return originX + group * (column / 2) + column % 2;
}

bool SensorSettings::operator==(const SensorSettings& other) const {
    return originX == other.originX && originY == other.originY && width == other.width &&
           height == other.height && group == other.group && flipV == other.flipV &&
           exposure == other.exposure && gains == other.gains;
}

uint8_t Signal(uint8_t value, uint16_t exposure, uint8_t gain) {
    uint64_t scaled =
        uint64_t{value} * exposure * gain / (uint64_t{kPowerOnExposure} * kPowerOnGain);
    return static_cast<uint8_t>(std::min<uint64_t>(scaled, 255));
}

void RenderFrame(const Scene& scene, const SensorSettings& settings, uint64_t frameNumber,
                 uint8_t* out, size_t length) {
    std::memset(out, 0, length);
    if (settings.width <= 0) {
        return;
    }
    auto tables = SignalTables(scene, settings);
    int squareLeft = scene.Moving() ? scene.Moving()->LeftAt(frameNumber) : 0;
    RowJob job{scene, settings, tables, squareLeft};
    auto width = static_cast<size_t>(settings.width);
    for (int row = 0; row < settings.height; ++row) {
        size_t start = static_cast<size_t>(row) * width;
        if (start >= length) {
            break;
        }
        RenderRow(job, row, out + start, static_cast<int>(std::min(width, length - start)));
    }
}

}  // namespace sim
