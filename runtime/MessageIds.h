// Ids of the message-table entries that the code raises or shows.
#pragma once

#include <cstdint>

namespace tw {

// A message-table id, kept apart from plain integers so that an exception made
// from an id cannot be confused with one made from a number argument.
struct ResId {
  std::uint16_t value;
};

namespace msg {
inline constexpr ResId ExternalException{65408};
inline constexpr ResId AssertionFailed{65409};
inline constexpr ResId IntfCastError{65410};
inline constexpr ResId SafecallException{65411};
inline constexpr ResId AssertError{65412};
inline constexpr ResId AbstractError{65413};
inline constexpr ResId AccessViolationModule{65414};
inline constexpr ResId Win32Error{65415};
inline constexpr ResId UnknownWin32Error{65416};
inline constexpr ResId AccessViolationNoModule{65424};
inline constexpr ResId StackOverflow{65425};
inline constexpr ResId ControlC{65426};
inline constexpr ResId PrivilegedInstruction{65427};
inline constexpr ResId ExceptionReport{65428};
inline constexpr ResId ExceptionReportCaption{65429};
inline constexpr ResId InvalidFormat{65430};
inline constexpr ResId ArgumentMissing{65431};
inline constexpr ResId VarTypeCast{65432};
inline constexpr ResId VarOverflow{65433};
inline constexpr ResId VarInvalidOp{65434};
inline constexpr ResId ReadAccess{65435};
inline constexpr ResId WriteAccess{65436};
inline constexpr ResId VarBadType{65437};
inline constexpr ResId VarArrayBounds{65438};
inline constexpr ResId VarArrayCreate{65439};
inline constexpr ResId FileNotFound{65440};  // the first of seven input/output texts
inline constexpr ResId DivByZero{65447};
inline constexpr ResId RangeError{65448};
inline constexpr ResId IntOverflow{65449};
inline constexpr ResId InvalidOp{65450};
inline constexpr ResId ZeroDivide{65451};
inline constexpr ResId Overflow{65452};
inline constexpr ResId Underflow{65453};
inline constexpr ResId InvalidPointer{65454};
inline constexpr ResId InvalidCast{65455};
inline constexpr ResId KeyBkSp{65456};
inline constexpr ResId KeyShift{65457};
inline constexpr ResId KeyCtrl{65458};
inline constexpr ResId KeyAlt{65459};
inline constexpr ResId InsertLineError{65460};
inline constexpr ResId MenuInUse{65463};
inline constexpr ResId InvalidInteger{65469};
inline constexpr ResId OutOfMemory{65470};
inline constexpr ResId InOutError{65471};
inline constexpr ResId KeyTab{65474};  // then Enter ... Del up to 65487
inline constexpr ResId WindowClass{65492};
inline constexpr ResId CannotFocus{65493};
inline constexpr ResId ParentRequired{65494};
inline constexpr ResId MdiChildNotVisible{65495};
inline constexpr ResId VisibleChanged{65496};
inline constexpr ResId CannotShowModal{65497};
inline constexpr ResId MenuIndexError{65498};
inline constexpr ResId MenuReinserted{65499};
inline constexpr ResId MenuNotFound{65500};
inline constexpr ResId GroupIndexTooLow{65501};
inline constexpr ResId AssignError{65502};
inline constexpr ResId ControlParentSetToSelf{65503};
inline constexpr ResId ClassNotFound{65504};
inline constexpr ResId InvalidName{65505};
inline constexpr ResId DuplicateName{65506};
inline constexpr ResId DuplicateClass{65507};
inline constexpr ResId UnknownProperty{65508};
inline constexpr ResId ReadOnlyProperty{65509};
inline constexpr ResId InvalidPropertyValue{65510};
inline constexpr ResId ReadError{65511};
inline constexpr ResId InvalidImage{65512};
inline constexpr ResId PropertyException{65513};
inline constexpr ResId InvalidPropertyPath{65514};
inline constexpr ResId AncestorNotFound{65515};
inline constexpr ResId OutOfSystemResources{65516};
inline constexpr ResId NoCanvasHandle{65517};
inline constexpr ResId CantWriteResourceStream{65518};
inline constexpr ResId ListCapacityError{65519};
inline constexpr ResId ListCountError{65520};
inline constexpr ResId DuplicateItem{65521};
inline constexpr ResId SortedListError{65522};
inline constexpr ResId DuplicateString{65523};
inline constexpr ResId WriteError{65524};
// The default action a screen reader names for a push button.
inline constexpr ResId ActionPress{65525};
// A file that opened but could not be read to the end of what was needed (the name as %s).
inline constexpr ResId FileReadFailed{65526};
// The default actions a screen reader names for a check box, by its state.
inline constexpr ResId ActionCheck{65527};
inline constexpr ResId ActionUncheck{65528};
inline constexpr ResId ResNotFound{65529};
inline constexpr ResId ListIndexError{65530};
// A file the user dropped or named whose running time cannot be had (the name as %s).
inline constexpr ResId FileCannotOpen{65531};
inline constexpr ResId FileIsNoFile{65532};
inline constexpr ResId FileFormatUnknown{65533};
inline constexpr ResId FileNoRunningTime{65534};
}  // namespace msg

}  // namespace tw
