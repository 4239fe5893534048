// Scaling a form read from a form stream whose text height differs from the
// height of "0" in its font, here by a factor of one half, and which fonts
// count as written while a form is read.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>

#include "core/FormLoading.h"
#include "tests/core/FormBytes.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/Application.h"
#include "ui/Forms.h"
#include "ui/StdCtrls.h"

namespace tw {
namespace {

using test::FormBytes;

struct TScaledCase {
  const char* name;
  std::function<void(FormBytes&)> stored;  // properties after the bounds
  RECT bounds;                             // left, top, width, height stored (-1: not stored)
  RECT expected;                           // left, top, width, height after scaling
  int fontHeight;                          // 0: the default font's height
};

TEST(FormScaling, StoredBoundsAndWrittenFontsScaleByTheTextHeight) {
  InitializeFramework();
  const int defaultHeight = TFont().Height();
  // The form's font is -24, where "0" is 24 pixels high, and the form says it
  // was laid out with a text height of 48: everything scales by a half.
  const TScaledCase cases[] = {
      // Stored like the default font but for the colour: not a font change.
      {"SameAsDefault",
       [&](FormBytes& b) {
         b.Prop("Font.Color").Ident("clRed").Prop("Font.Height").Int(defaultHeight);
         b.Prop("ParentFont").Bool(false);
       },
       {0, 0, 100, 30},
       {0, 0, 50, 15},
       0},
      // Stored like the form's font, which differs from the default one: 18
      // points become 9. Had the control taken its parent's font when it was
      // inserted, the stored height would have changed nothing.
      {"LikeTheForm",
       [](FormBytes& b) { b.Prop("Font.Height").Int(-24).Prop("ParentFont").Bool(false); },
       {10, 7, 41, 21},
       {5, 4, 21, 10},
       -12},
      // Only the left edge stored: the rest keeps the control's own defaults;
      // its font is the form's, taken after loading.
      {"Follower", [](FormBytes&) {}, {31, -1, -1, -1}, {16, 0, 75, 25}, -24},
  };
  FormBytes b;
  b.Signature().Object("TForm", "Scaled");
  b.Prop("ClientWidth").Int(400).Prop("ClientHeight").Int(300);
  b.Prop("Font.Height").Int(-24).Prop("PixelsPerInch").Int(Screen()->PixelsPerInch()).Prop("TextHeight").Int(48);
  b.End();
  for (const TScaledCase& c : cases) {
    b.Object("TButton", c.name);
    const char* names[] = {"Left", "Top", "Width", "Height"};
    const LONG values[] = {c.bounds.left, c.bounds.top, c.bounds.right, c.bounds.bottom};
    for (int i = 0; i < 4; ++i)
      if (values[i] >= 0) b.Prop(names[i]).Int(values[i]);
    c.stored(b);
    b.End().End();
  }
  b.End();
  TForm* form = TCustomForm::Create<TForm>(nullptr);
  auto stream = b.Stream();
  ReadComponentFromStream(*stream, form);
  EXPECT_EQ(form->Font()->Height(), -24);
  RECT client{};
  GetClientRect(form->Handle(), &client);
  EXPECT_EQ(client.right, 200);
  EXPECT_EQ(client.bottom, 150);
  for (const TScaledCase& c : cases) {
    auto* control = static_cast<TControl*>(form->FindOwned(c.name));
    ASSERT_NE(control, nullptr) << c.name;
    EXPECT_EQ(control->Left(), c.expected.left) << c.name;
    EXPECT_EQ(control->Top(), c.expected.top) << c.name;
    EXPECT_EQ(control->Width(), c.expected.right) << c.name;
    EXPECT_EQ(control->Height(), c.expected.bottom) << c.name;
    EXPECT_EQ(control->Font()->Height(), c.fontHeight ? c.fontHeight : defaultHeight) << c.name;
    EXPECT_TRUE(control->ScalingFlags.Empty()) << c.name;
  }
  FreeIfPresent(form);
  test::PumpMessages();
}

TEST(FormScaling, OnlyANewFontHeightMarksTheFontForScaling) {
  InitializeFramework();
  struct Case {
    const char* change;
    std::function<void(TFont&)> apply;
    bool marks;
  };
  const Case cases[] = {
      {"colour", [](TFont& f) { f.SetColor(clRed); }, false},
      {"name", [](TFont& f) { f.SetName("Arial"); }, false},
      {"style", [](TFont& f) { f.SetStyle({fsBold}); }, false},
      {"the same height", [](TFont& f) { f.SetHeight(f.Height()); }, false},
      {"the same size", [](TFont& f) { f.SetSize(f.Size()); }, false},
      {"height", [](TFont& f) { f.SetHeight(f.Height() - 3); }, true},
      {"size", [](TFont& f) { f.SetSize(f.Size() + 2); }, true},
  };
  for (const Case& c : cases) {
    auto* button = new TButton(nullptr);
    button->ScalingFlags = {};
    c.apply(*button->Font());
    EXPECT_EQ(button->ScalingFlags.Contains(sfFont), c.marks) << c.change;
    FreeIfPresent(button);
  }
}

}  // namespace
}  // namespace tw
