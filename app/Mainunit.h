// The main window: the calculator and the re-calculator panels, the main menu
// and its commands. Every control comes from the form resource; the class adds
// the fields the resource binds and the handlers its events name.
#pragma once

#include <string>

#include "app/Bitrate.h"
#include "app/WindowMembers.h"
#include "media/FilePath.h"
#include "ui/Forms.h"
#include "ui/Menus.h"
#include "ui/StdCtrls.h"

namespace tw {

class TForm1 : public TForm {
  TW_PUBLISHED_CLASS(TForm1, TForm)

 public:
  using TForm::TForm;

  // The fields the resource binds and the handlers its events name
  // (app/WindowMembers.h), in their published order.
  TW_FORM1_MEMBERS(TW_DECLARE_WINDOW_FIELD, TW_DECLARE_WINDOW_HANDLER)

  // What a file dropped on the window is, by where it lands: on the
  // calculator's panel (or anywhere outside the re-calculator's) the source,
  // on the re-calculator's panel the first encode.
  enum class TDropTarget : std::uint8_t { Source, FirstEncode };
  TDropTarget DropTargetAt(POINT clientPoint);
  // The source gives Time its running time; the first encode gives NowSize
  // its size and Time its running time. A file whose running time cannot be
  // had changes no field and is reported in a message box naming it.
  void TakeDroppedFile(const media::FilePath& file, TDropTarget target);

 protected:
  // The window accepts files dropped from the file manager.
  void CreateParams(TCreateParams& params) override;

 private:
  void WMDropFiles(TMessage& m);
};

// The main window, made at start-up.
extern TForm1* Form1;

// The site that the author's-site command opens.
inline constexpr const char* kAuthorAddress = "https://tarnwick.example.net/";

// The folder of the running program, with its closing "\". Wide: a folder
// name may hold characters that the process's code page (932) cannot, such as
// the "ë" of a user's name on a system of another language.
std::wstring ProgramFolder();

}  // namespace tw
