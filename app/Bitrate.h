// The calculator's two computations, over the texts of the main window's fields.
// They read and write through an interface so that the window handlers and the
// tests see exactly the same order of reads and writes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/Fpu.h"

namespace tw {

enum class BitrateField { Time, NextSize, NowAudio, Video, NowVideo, NowSize, NextAudio, NextVideo };

class BitrateFields {
 public:
  virtual ~BitrateFields() = default;
  virtual std::string ReadField(BitrateField field) = 0;
  virtual void WriteField(BitrateField field, const std::string& text) = 0;
};

// What a result field shows instead of a number: a rejected text, a division by zero.
inline constexpr std::string_view kRejectedText = "ERR";
inline constexpr std::string_view kZeroDivideText = "---";

// The arithmetic the computations run in: the processor's x87, or the same
// arithmetic in software, which gives the same bits and is the only one on a
// target without an x87 (there both names choose it).
enum class Arithmetic : std::uint8_t { Processor, Software };

#if TW_HAS_X87
// Truncates toward zero into 64 bits and keeps the low 32 (so values beyond the
// 32-bit range wrap); beyond 64 bits, infinities and NaNs raise EInvalidOp.
std::int32_t TruncateToInt32(long double value);
#endif

// The video bitrate that fills the target size:
// target MB × 136.53 / minutes − audio kb/s, into Video and NowVideo; "ERR" for a
// rejected text, "---" for a division by zero; NextAudio then takes NowAudio's
// text. Any other exception (EInvalidOp) leaves the function.
void CalcBitrate(BitrateFields& fields, Arithmetic arithmetic);
inline void CalcBitrate(BitrateFields& fields) { CalcBitrate(fields, Arithmetic::Processor); }

// The corrected video bitrate of a second encode:
// NowVideo × (NextSize − new audio MB) / (NowSize − current audio MB), audio MB
// being kb/s × minutes × 15/2048, into NextVideo; NowAudio then takes NextAudio's
// text. Failures as for CalcBitrate.
void ReCalcBitrate(BitrateFields& fields, Arithmetic arithmetic);
inline void ReCalcBitrate(BitrateFields& fields) { ReCalcBitrate(fields, Arithmetic::Processor); }

}  // namespace tw
