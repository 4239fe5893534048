// The lines of a line list, which a form stream carries as the custom property
// "Strings" rather than as a published property.
#include "core/Reader.h"
#include "core/StringList.h"

namespace tw {

// "Strings": a list of texts that replaces all lines in one batch, so that
// whoever follows the list sees a single change.
void TStrings::DeclareCustomProperties(TFiler* filer) {
  Inherited::DeclareCustomProperties(filer);
  if (!filer) return;
  filer->DefineCustomProperty(
      "Strings",
      [this](TReader& reader) {
        reader.ExpectListStart();
        ReplaceLines([&reader](std::string& line) {
          if (reader.AtEndMarker()) return false;
          line = reader.ReadTextValue();
          return true;
        });
        reader.ExpectEndMarker();
      },
      {}, LineCount() > 0);
}

}  // namespace tw
