#pragma once
// Writes an FPGA configuration file into the flash of both camera units,
// one unit at a time: the Slave's sectors are erased, written and read back,
// then the Master's (FpgaDownload.h tells how the bytes are keyed and laid
// out). A download cut short therefore leaves at most one unit without its
// configuration, and that one with its first page erased, which the FPGA
// refuses. The window switches the frame to calibration mode before it
// starts the thread, and back to work mode on code 19.
//
// Codes (sendData, and sendReport with the values of the text):
//   12 the file cannot be opened             17 the first chunk of a unit is about to be written
//   33 a chunk was written (unit, counter, size: chunks of the file)
//   18 a flash write failed (unit)
//   19 both units written and read back (counter)
//   63 a unit's flash did not read back what was written (unit, number:
//      flash offset, detail "read" when the read failed, else "differs")
//   60 the file is empty                     61 the file is larger than the FPGA area (size)
//   62 the key setting is not one byte (the setting's text)
// A failed erase, a stop request and a frame that disappears end the run
// without a code; nothing is erased before the file was found good.

#include "ServiceWorker.h"

#include "device/UnitAddress.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

namespace tovrin::maintenance {

namespace fpga {
constexpr int OpenFail = 12;
constexpr int Begin = 17;
constexpr int WriteFail = 18;
constexpr int Done = 19;
constexpr int Chunk = 33;
constexpr int Empty = 60;
constexpr int TooLarge = 61;
constexpr int BadKey = 62;
constexpr int VerifyFail = 63;
} // namespace fpga

class BurnFPGAThread : public ServiceWorker {
    Q_OBJECT
public:
    explicit BurnFPGAThread(QObject* parent = nullptr);
    ~BurnFPGAThread() override;  // stops and waits

    // Set before start(): the file, and the key's starting byte (when not
    // set, the Tovrin.ini setting is read at the start of the run).
    void setFile(const QString& path);
    void setKey(uint8_t start);

    // Transfer phase: 0 idle, 1 started, 3 last chunk of a unit reached.
    int phase() const { return m_phase.load(); }
    // Index of the chunk just written.
    int chunkCounter() const { return m_chunk.load(); }

protected:
    void work() override;

private:
    using ServiceWorker::report;
    void report(int code, const QString& unit = {}, int number = 0, qint64 size = 0, const QString& detail = {});
    // Erases, writes and reads back one unit; false ends the run.
    bool downloadUnit(device::Unit unit, const std::vector<uint8_t>& keyed, int chunks);

    mutable std::mutex m_mutex;
    QString m_path;
    int m_key = -1;  // -1: from the settings
    std::atomic<int> m_phase{0};
    std::atomic<int> m_chunk{0};
};

} // namespace tovrin::maintenance
