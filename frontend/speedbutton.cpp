#include "frontend/speedbutton.h"

#include <commctrl.h>

namespace qm {
namespace {

constexpr int kGlyphSize = 16;

void DrawStroke(HDC dc, COLORREF colour, const POINT* points, int count) {
  UniqueGdiObject pen(CreatePen(PS_SOLID, 2, colour));
  HGDIOBJ old = SelectObject(dc, pen.get());
  Polyline(dc, points, count);
  SelectObject(dc, old);
}

// The glyphs are drawn rather than loaded: each is a few strokes in a 16 x 16 box at (x, y).
void DrawGlyph(HDC dc, SpeedGlyph glyph, int x, int y, bool enabled) {
  const COLORREF grey = GetSysColor(COLOR_GRAYTEXT);
  switch (glyph) {
    case SpeedGlyph::Select: {
      const POINT tick[] = {{x + 2, y + 8}, {x + 6, y + 12}, {x + 14, y + 3}};
      DrawStroke(dc, enabled ? RGB(0, 128, 0) : grey, tick, 3);
      break;
    }
    case SpeedGlyph::Cancel: {
      const POINT one[] = {{x + 3, y + 3}, {x + 13, y + 13}};
      const POINT two[] = {{x + 13, y + 3}, {x + 3, y + 13}};
      DrawStroke(dc, enabled ? RGB(192, 0, 0) : grey, one, 2);
      DrawStroke(dc, enabled ? RGB(192, 0, 0) : grey, two, 2);
      break;
    }
    case SpeedGlyph::UpLevel: {
      // A folder with an arrow that points up out of it.
      UniqueGdiObject fill(CreateSolidBrush(enabled ? RGB(255, 220, 110) : GetSysColor(COLOR_BTNFACE)));
      UniqueGdiObject pen(CreatePen(PS_SOLID, 1, enabled ? RGB(128, 96, 0) : grey));
      HGDIOBJ oldBrush = SelectObject(dc, fill.get());
      HGDIOBJ oldPen = SelectObject(dc, pen.get());
      const POINT folder[] = {{x + 1, y + 5}, {x + 5, y + 5}, {x + 6, y + 6}, {x + 15, y + 6},
                              {x + 15, y + 15}, {x + 1, y + 15}};
      Polygon(dc, folder, 6);
      SelectObject(dc, oldPen);
      SelectObject(dc, oldBrush);
      const COLORREF arrow = enabled ? RGB(0, 0, 160) : grey;
      const POINT shaft[] = {{x + 8, y + 13}, {x + 8, y + 1}};
      const POINT head[] = {{x + 4, y + 5}, {x + 8, y + 1}, {x + 12, y + 5}};
      DrawStroke(dc, arrow, shaft, 2);
      DrawStroke(dc, arrow, head, 3);
      break;
    }
  }
}

}  // namespace

bool SpeedButton::Create(HWND parent, int id, const RECT& place, SpeedGlyph glyph,
                         const std::string& caption, HFONT font) {
  glyph_ = glyph;
  caption_ = caption;
  font_ = font;
  Params params;
  params.className = "QuillmereSpeedButton";
  params.title = caption;
  params.style = WS_CHILD | WS_VISIBLE;
  params.x = place.left;
  params.y = place.top;
  params.width = place.right - place.left;
  params.height = place.bottom - place.top;
  params.parent = parent;
  if (!Window::Create(params)) return false;
  SetWindowLongPtrA(hwnd(), GWLP_ID, id);
  return true;
}

void SpeedButton::SetHint(const std::string& hint) {
  tooltip_.reset(CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr,
                                 WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd(), nullptr,
                                 GetModuleHandleA(nullptr), nullptr));
  if (!tooltip_) return;
  TTTOOLINFOA tool{};
  tool.cbSize = TTTOOLINFOA_V1_SIZE;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = GetParent(hwnd());
  tool.uId = reinterpret_cast<UINT_PTR>(hwnd());
  tool.lpszText = const_cast<char*>(hint.c_str());
  SendMessageA(tooltip_.get(), TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
}

void SpeedButton::Click() {
  HWND parent = GetParent(hwnd());
  const int id = GetDlgCtrlID(hwnd());
  SendMessageA(parent, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(hwnd()));
}

void SpeedButton::Paint(HDC dc, const RECT& client) const {
  FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
  const bool enabled = IsWindowEnabled(hwnd()) != FALSE;
  // Flat: a frame only while the mouse is over the button, sunken while it is held.
  if (enabled && (hover_ || pressed_)) {
    RECT frame = client;
    DrawEdge(dc, &frame, pressed_ && hover_ ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT);
  }
  const int shift = pressed_ && hover_ ? 1 : 0;
  SetBkMode(dc, TRANSPARENT);
  HGDIOBJ oldFont = SelectObject(dc, font_ ? font_ : GetStockObject(DEFAULT_GUI_FONT));
  SIZE text{};
  if (!caption_.empty())
    GetTextExtentPoint32A(dc, caption_.c_str(), static_cast<int>(caption_.size()), &text);
  const int gap = caption_.empty() ? 0 : 4;
  const int width = kGlyphSize + gap + text.cx;
  const int left = (client.right - width) / 2 + shift;
  DrawGlyph(dc, glyph_, left, (client.bottom - kGlyphSize) / 2 + shift, enabled);
  if (!caption_.empty()) {
    SetTextColor(dc, GetSysColor(enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
    TextOutA(dc, left + kGlyphSize + gap, (client.bottom - text.cy) / 2 + shift,
             caption_.c_str(), static_cast<int>(caption_.size()));
  }
  SelectObject(dc, oldFont);
}

LRESULT SpeedButton::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd(), &ps);
      RECT client;
      GetClientRect(hwnd(), &client);
      Paint(dc, client);
      EndPaint(hwnd(), &ps);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;
    case WM_MOUSEMOVE: {
      RECT client;
      GetClientRect(hwnd(), &client);
      const POINT at{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
      const bool over = PtInRect(&client, at) != FALSE;
      if (over && !hover_) {
        TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, hwnd(), 0};
        TrackMouseEvent(&track);
      }
      if (over != hover_) {
        hover_ = over;
        InvalidateRect(hwnd(), nullptr, FALSE);
      }
      return 0;
    }
    case WM_MOUSELEAVE:
      hover_ = false;
      InvalidateRect(hwnd(), nullptr, FALSE);
      return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      // No SetFocus: the focus stays where the user left it.
      pressed_ = true;
      hover_ = true;
      SetCapture(hwnd());
      InvalidateRect(hwnd(), nullptr, FALSE);
      return 0;
    case WM_LBUTTONUP: {
      const bool click = pressed_ && hover_;
      pressed_ = false;
      if (GetCapture() == hwnd()) ReleaseCapture();
      InvalidateRect(hwnd(), nullptr, FALSE);
      if (click) Click();
      return 0;
    }
    case WM_CAPTURECHANGED:
      pressed_ = false;
      InvalidateRect(hwnd(), nullptr, FALSE);
      return 0;
    case BM_CLICK:
      if (IsWindowEnabled(hwnd())) Click();
      return 0;
    case WM_ENABLE:
      InvalidateRect(hwnd(), nullptr, FALSE);
      return 0;
  }
  return Window::OnMessage(msg, wp, lp);
}

}  // namespace qm
