#pragma once
// Step Debug: one register of the FPGA or of the image sensor, read or
// written by hand from the debug page (or tovrin-cli reg). The unit is the
// one the page's Slave box selects (SelectedUnitIsSlave).
//
// The address and value fields are hexadecimal, with or without "0x";
// underscores may separate digits. An FPGA register address is 0-ffff, a
// sensor register 0-ff, a value one byte: anything else is refused before a
// request is sent (a text that is not a number never becomes register 0).

#include <QString>

#include <cstdint>
#include <optional>

namespace tovrin::maintenance {

// A field as the page's line edits give it; nothing when it is not a
// hexadecimal number of at most 32 bits.
std::optional<uint32_t> parseStepHex(const QString& text);

// "0x%1": hexadecimal, lower case, at least two digits.
QString stepHexText(uint32_t value);

struct StepRequest {
    bool sensor = false;
    uint32_t address = 0;
    uint8_t value = 0;
};

// The request of a write (value needed) or a read, or why it is refused.
struct StepInput {
    std::optional<StepRequest> request;
    QString problem;
};
StepInput checkStepInput(const QString& address, const QString& value, bool sensor, bool write);

// What one request gave, with the texts the page shows.
struct StepResult {
    bool ok = false;
    QString unit;          // "Master" or "Slave"
    uint32_t address = 0;  // unit address of the request
    uint8_t value = 0;
    QString statusText;    // the status line's text on failure ("send message: ...")
    QString outputText;    // the line for the output box
};

StepResult stepWrite(const StepRequest& request);
StepResult stepRead(const StepRequest& request);

} // namespace tovrin::maintenance
