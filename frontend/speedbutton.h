// The pickers' flat buttons: a glyph, an optional caption and an optional hint shown on hover.
// They take no keyboard focus, so they are worked with the mouse; a click (or BM_CLICK) sends
// WM_COMMAND with BN_CLICKED to the parent, as a push button does.
#pragma once

#include "base/handles.h"
#include "base/window.h"

#include <windows.h>

#include <string>

namespace qm {

enum class SpeedGlyph { UpLevel, Select, Cancel };

class SpeedButton : public Window {
 public:
  bool Create(HWND parent, int id, const RECT& place, SpeedGlyph glyph,
              const std::string& caption, HFONT font);
  // A tooltip with the text, shown while the mouse rests on the button.
  void SetHint(const std::string& hint);

 protected:
  LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  void Paint(HDC dc, const RECT& client) const;
  void Click();

  SpeedGlyph glyph_ = SpeedGlyph::Select;
  std::string caption_;
  HFONT font_ = nullptr;
  bool hover_ = false;
  bool pressed_ = false;
  UniqueWindow tooltip_;
};

}  // namespace qm
