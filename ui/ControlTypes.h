// Values that controls and forms share: the border styles (an edit has a
// border as a form has one) and the modal result a button hands its form.
#pragma once

#include <windows.h>

#include <cstdint>

namespace tw {

enum TFormBorderStyle : std::uint8_t { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
using TBorderStyle = TFormBorderStyle;

// The result a modal form ends with; 0 keeps it running.
using TModalResult = std::int32_t;
inline constexpr TModalResult mrNone = 0;
inline constexpr TModalResult mrOk = IDOK;
inline constexpr TModalResult mrCancel = IDCANCEL;

}  // namespace tw
