// The framework's own message numbers.
//
// A framework message reaches a control synchronously: through TControl::Deliver
// (straight into the control's ControlProc) or with SendMessageA to a window
// bound to a control or to the application window; a few are posted instead.
// The receiver dispatches it by number through the message tables of its class
// chain (TW_MESSAGE in Publish), and a number no class handles goes to
// DefaultHandler. The answer is the message's result; where a line below says
// nothing about it, the sender ignores it.
//
// Platform notifications reflected to the control that caused them carry the
// platform number + FN_BASE, with the platform's wParam and lParam, and their
// answer goes back to the platform. Index dispatch covers numbers below 0xC000,
// so both ranges reach the tables.
//
// One number of the range is taken outside this file: the hint watcher thread
// posts kDropHintRequest, FM_BASE + 0xF0 (0xB0F0, ui/Hints.h), to the
// application window to ask for the hint to be dropped; the application hands
// it to its hint machine. Pick new numbers clear of it.
#pragma once

#include <cstdint>

namespace tw {

// The first framework number.
inline constexpr std::uint32_t FM_BASE = 0xB000;
// Activation. Posted by the application window to itself on WM_ACTIVATEAPP (active): runs ActivateHook. Sent to a
// form by its focus sequence and by RunModal: TCustomForm runs OnActivate (only noted while the form is being read).
inline constexpr std::uint32_t FM_ACTIVATE = 0xB000;
// The reverse of FM_ACTIVATE, from the same senders: the application runs DeactivateHook, a form OnDeactivate.
// Either one taken from the queue also ends a showing hint.
inline constexpr std::uint32_t FM_DEACTIVATE = 0xB001;
// An active form sends it to its ActiveControl when a control is pressed (lParam = the pressed control).
// TCustomComboBox closes its open list unless it is the pressed control.
inline constexpr std::uint32_t FM_CANCELMODE = 0xB004;
// TWinControl's reflected key-down sends it to the parent form for Tab, arrows, Enter, Escape, Cancel, Execute that
// the control does not claim (wParam key code, lParam key data). TCustomForm moves the focus on Tab and arrows, else
// passes it child by child (TWinControl to its children; TButton clicks on Enter or Escape). Non-zero: consumed.
inline constexpr std::uint32_t FM_DIALOGKEY = 0xB005;
// TWinControl's reflected character sends it to the parent form when the control lacks DLGC_WANTCHARS (wParam the
// character, lParam key data); passed child by child. TButtonControl runs Click, TCustomLabel focuses its FocusControl,
// TCustomGroupBox focuses its first child, each on its caption's accelerator. Non-zero: consumed, the walk stops.
inline constexpr std::uint32_t FM_DIALOGCHAR = 0xB006;
// A form's focus sequence sends it to the form when the focus has moved (lParam = the newly focused control);
// TButton::SetDefault sends it again. TWinControl passes it to every child; TButton redraws itself as default or not.
inline constexpr std::uint32_t FM_FOCUSCHANGED = 0xB007;
// To a child whose parent's font changed, and when it joins a parent, after it is read, or when ParentFont is set
// true. wParam non-zero: lParam is the TFont to take instead. TControl takes the font while ParentFont holds.
inline constexpr std::uint32_t FM_PARENTFONTCHANGED = 0xB008;
// As FM_PARENTFONTCHANGED, for the colour (wParam non-zero: lParam is the TColor to take). TControl takes the
// colour while ParentColor holds.
inline constexpr std::uint32_t FM_PARENTCOLORCHANGED = 0xB009;
// A windowed parent asks a child whether a point hits it (lParam = the point in the child's coordinates, x in the low
// word), when routing a mouse message or finding the control at a point. Non-zero: hit (TControl answers 1).
inline constexpr std::uint32_t FM_HITTEST = 0xB00A;
// SetVisible sends it to the control itself (wParam = the new Visible). TControl repaints its area in the parent;
// TWinControl gives up the focus when hidden and recomputes its showing state.
inline constexpr std::uint32_t FM_VISIBLECHANGED = 0xB00B;
// SetEnabled sends it to the control itself. TControl repaints; TWinControl gives up the focus when disabled and
// enables or disables its window.
inline constexpr std::uint32_t FM_ENABLEDCHANGED = 0xB00C;
// SetColor sends it to the control itself. TControl repaints; TWinControl recolours its brush and sends
// FM_PARENTCOLORCHANGED to its children.
inline constexpr std::uint32_t FM_COLORCHANGED = 0xB00D;
// The control's font changed (its OnChange) and tells the control itself. TControl repaints and adjusts its size;
// TWinControl sends WM_SETFONT and FM_PARENTFONTCHANGED to its children; TCustomEdit fits a fixed height to the font.
inline constexpr std::uint32_t FM_FONTCHANGED = 0xB00E;
// SetCursor sends it to the control itself. No handler: nothing reacts.
inline constexpr std::uint32_t FM_CURSORCHANGED = 0xB00F;
// SetCtl3D sends it to the control itself. TCustomEdit applies its fixed-height rule again and remakes its window
// (new-style platforms); TCustomGroupBox repaints.
inline constexpr std::uint32_t FM_CTL3DCHANGED = 0xB010;
// To a windowed child when it joins a parent, after it is read, or when ParentCtl3D is set true. No handler: the
// child keeps its own Ctl3D.
inline constexpr std::uint32_t FM_PARENTCTL3DCHANGED = 0xB011;
// SetText sends it to the control itself after WM_SETTEXT. TControl repaints and adjusts its size; TCustomEdit runs
// its change step when it has no window or is multi-line; TCustomGroupBox repaints; THintWindow fits itself to the
// text.
inline constexpr std::uint32_t FM_TEXTCHANGED = 0xB012;
// The application's idle step sends it to the control the mouse has just entered. No handler: nothing reacts.
inline constexpr std::uint32_t FM_MOUSEENTER = 0xB013;
// The application's idle step sends it to the control the mouse has just left. No handler: nothing reacts.
inline constexpr std::uint32_t FM_MOUSELEAVE = 0xB014;
// A TMainMenu sends it to the window it is attached to after a change that may need a new bar. TCustomForm attaches
// its menu again (SetMenu only when the bar's handle changed).
inline constexpr std::uint32_t FM_MENUCHANGED = 0xB015;
// A focused control's reflected key-down that the form's shortcuts did not take is sent to the application window
// (wParam key code, lParam -> the key's TMessage; taken only from a call on the same thread). Answer 1: ShortCutHook
// or the primary form's shortcuts took the key. Taken from the queue, it would end a showing hint.
inline constexpr std::uint32_t FM_APPKEYDOWN = 0xB016;
// Handled by the application window: the primary form, when enabled and visible, performs WM_SYSCOMMAND with the same
// wParam and lParam, the focus lent to it; answer 1. Nothing in the framework sends it. Queued, it ends a hint.
inline constexpr std::uint32_t FM_APPSYSCOMMAND = 0xB017;
// TWinControl::RecomputeShowing sends it to the control itself when its showing state changed. TWinControl shows or
// hides its window; TCustomForm runs OnShow or OnHide, places itself on first show and shows in its WindowState.
inline constexpr std::uint32_t FM_SHOWINGCHANGED = 0xB019;
// A form's focus sequence sends it to each control the focus enters, outermost first: TWinControl runs OnEnter,
// TCustomEdit first selects all (AutoSelect). Posted by the application window to itself on WM_SETFOCUS: it passes
// the focus on to the topmost task window.
inline constexpr std::uint32_t FM_ENTER = 0xB01A;
// A form's focus sequence sends it to each control the focus leaves, innermost first. TWinControl runs OnExit.
inline constexpr std::uint32_t FM_EXIT = 0xB01B;
// TApplication::SetIcon sends it to every form. No handler: nothing reacts.
inline constexpr std::uint32_t FM_ICONCHANGED = 0xB01D;
// TWinControl's reflected key-down asks the control itself for Tab, arrows, Enter, Escape, Cancel, Execute (wParam
// key code). Non-zero: the control claims the key, no FM_DIALOGKEY follows. No class here answers it (0).
inline constexpr std::uint32_t FM_WANTSPECIALKEY = 0xB01E;
// Reserved: nothing sends or handles it (the application window gives it default processing).
inline constexpr std::uint32_t FM_INVOKEHELP = 0xB01F;
// AddWindowHook and RemoveWindowHook send it to the application window: wParam 0 adds, 1 removes the TWindowHook at
// lParam. Taken only from those two calls on the application's thread.
inline constexpr std::uint32_t FM_WINDOWHOOK = 0xB020;
// TCustomForm::ReleaseLater posts it to the form's own window; the form frees itself when it arrives, after every
// handler that was running has returned.
inline constexpr std::uint32_t FM_RELEASE = 0xB021;
// SetShowHint sends it to the control itself. TWinControl sends FM_PARENTSHOWHINTCHANGED to its children.
inline constexpr std::uint32_t FM_SHOWHINTCHANGED = 0xB022;
// To a child whose parent's ShowHint changed, and when it joins a parent, after it is read, or when ParentShowHint is
// set true. TControl takes the parent's ShowHint while ParentShowHint holds.
inline constexpr std::uint32_t FM_PARENTSHOWHINTCHANGED = 0xB023;
// A form being activated sends it to the control it gave the focus to. No handler: nothing reacts.
inline constexpr std::uint32_t FM_UIACTIVATE = 0xB029;
// Sent to a parent: wParam = the child, lParam 1 before the child is added, 0 after it has left. No handler.
inline constexpr std::uint32_t FM_CONTROLLISTCHANGE = 0xB02C;
// TWinControl's reflected key-down sends it to the control itself (wParam key code, lParam = the control); TWinControl
// passes it to its parent, up to the form. Non-zero: consumed. No class here answers non-zero.
inline constexpr std::uint32_t FM_CHILDKEY = 0xB02E;
// The hint machinery sends it to the hint subject before a hint shows (lParam -> THintInfo, which the control may
// change). Non-zero: no hint this time. No class here handles it.
inline constexpr std::uint32_t FM_HINTSHOW = 0xB030;
// Handled by the application window: wParam 1 answers ModelessDialogWindow; otherwise lParam (a window of this thread,
// or none) becomes it. Nothing in the framework sends it.
inline constexpr std::uint32_t FM_DIALOGHANDLE = 0xB031;
// Handled by TWinControl: the window is destroyed and made again when the control shows. Nothing in the framework
// sends it.
inline constexpr std::uint32_t FM_RECREATEWND = 0xB033;
// Reserved: nothing sends or handles it.
inline constexpr std::uint32_t FM_INVALIDATE = 0xB034;
// Sent to a control that has a parent after it is read. No handler: nothing reacts.
inline constexpr std::uint32_t FM_SYSFONTCHANGED = 0xB035;
// Sent to a parent: wParam = the child, lParam 1 after the child was added, 0 before it leaves. No handler.
inline constexpr std::uint32_t FM_CONTROLCHANGE = 0xB036;
// TControl::Changed (the edit's and the combo box's change step) sends it to the control itself, lParam = the
// control. TWinControl passes it to its parent, up to the top, where nothing reacts.
inline constexpr std::uint32_t FM_CHANGED = 0xB037;
// The reading-direction refresh: sent to a control when it joins a parent and after it is read. No handler.
inline constexpr std::uint32_t FM_BIDIMODECHANGED = 0xB03D;
// Reserved for an action system this program does not have: nothing sends or handles it.
inline constexpr std::uint32_t FM_ACTIONUPDATE = 0xB03F;
// Reserved for an action system this program does not have: nothing sends or handles it.
inline constexpr std::uint32_t FM_ACTIONEXECUTE = 0xB040;
// The hint machinery sends it to a new hint subject before the wait (wParam = a hint was shown just before, lParam ->
// the delay in ms as int32, which the control may change). No class here handles it.
inline constexpr std::uint32_t FM_HINTSHOWPAUSE = 0xB041;
// A screen reader asked for the control's default action (ui/Accessible.*): posted to the control's window, so that
// the reader is not held up by whatever the action opens. TButtonControl runs Click when enabled.
inline constexpr std::uint32_t FM_DEFAULTACTION = 0xB042;

// A platform notification reflected to its control: number + FN_BASE.
inline constexpr std::uint32_t FN_BASE = 0xBC00;
// The application's loop sends each key message 0x100-0x108, as number + FN_BASE, to the focused control's window
// before translation. TWinControl tries the form's shortcuts, FM_APPKEYDOWN, FM_CHILDKEY, then FM_DIALOGKEY; answer 1:
// consumed, the key is not dispatched. A combo box's edit or list part passes these to the combo box. The other
// reflected key messages (key up, dead characters) have no handler and answer 0.
inline constexpr std::uint32_t FN_KEYDOWN = FN_BASE + 0x0100;
// Reflected WM_CHAR (as FN_KEYDOWN). TWinControl sends FM_DIALOGCHAR to its form unless the control wants characters;
// answer 1: consumed.
inline constexpr std::uint32_t FN_CHAR = FN_BASE + 0x0102;
// Reflected WM_SYSKEYDOWN: handled as FN_KEYDOWN.
inline constexpr std::uint32_t FN_SYSKEYDOWN = FN_BASE + 0x0104;
// Reflected WM_SYSCHAR (an Alt+character): handled as FN_CHAR.
inline constexpr std::uint32_t FN_SYSCHAR = FN_BASE + 0x0106;
// A windowed control's WM_COMMAND whose lParam names a control's window goes to that control. TButtonControl runs
// Click on BN_CLICKED (except those its own focusing caused); TCustomEdit runs its change step on EN_CHANGE;
// TCustomComboBox handles the CBN_ notifications.
inline constexpr std::uint32_t FN_COMMAND = FN_BASE + 0x0111;
// A windowed control's WM_NOTIFY goes to the control named in the header. No class here handles it: it ends in the
// control's default processing.
inline constexpr std::uint32_t FN_NOTIFY = FN_BASE + 0x004E;
// A windowed control's WM_DRAWITEM goes to the owner-drawn control. TCustomComboBox draws the item.
inline constexpr std::uint32_t FN_DRAWITEM = FN_BASE + 0x002B;
// A windowed control's WM_MEASUREITEM goes to the owner-drawn control (found by the item's id, which is its window
// handle). TCustomComboBox sets the item height and answers 1.
inline constexpr std::uint32_t FN_MEASUREITEM = FN_BASE + 0x002C;
// FN_CTLCOLORMSGBOX to FN_CTLCOLORSTATIC: a windowed control's (or the application window's) WM_CTLCOLOR* goes to the
// control in lParam (wParam = the device context). TWinControl sets the text and background colours and answers its
// brush; TCustomComboBox answers its parent's brush on older platforms. The answer is the brush to paint with.
inline constexpr std::uint32_t FN_CTLCOLORMSGBOX = FN_BASE + 0x0132;
inline constexpr std::uint32_t FN_CTLCOLORSTATIC = FN_BASE + 0x0138;

}  // namespace tw
