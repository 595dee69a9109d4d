#include "frontend/images.h"

#include <algorithm>
#include <cstdint>
#include <string>

namespace qm {
namespace {

// Image lists take this colour as "no picture here".
constexpr COLORREF kKey = RGB(255, 0, 255);
constexpr COLORREF kNavy = RGB(24, 52, 112);
constexpr COLORREF kOutline = RGB(90, 90, 90);
constexpr COLORREF kRed = RGB(205, 30, 30);
constexpr COLORREF kGreen = RGB(30, 145, 45);
constexpr COLORREF kFolderFill = RGB(242, 200, 90);
constexpr COLORREF kFolderLine = RGB(160, 115, 25);

// A 32-bit top-down bitmap with a memory DC to draw on with GDI, and its pixels at hand.
class Canvas {
 public:
  Canvas(int width, int height, COLORREF fill) : width_(width), height_(height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap_.reset(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    bits_ = static_cast<uint32_t*>(bits);
    dc_ = CreateCompatibleDC(nullptr);
    old_ = SelectObject(dc_, bitmap_.get());
    Fill(RECT{0, 0, width, height}, fill);
    SetBkMode(dc_, TRANSPARENT);
  }
  ~Canvas() {
    if (dc_) {
      SelectObject(dc_, old_);
      DeleteDC(dc_);
    }
  }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  HDC dc() const { return dc_; }

  void Fill(const RECT& rect, COLORREF colour) {
    UniqueGdiObject brush(CreateSolidBrush(colour));
    FillRect(dc_, &rect, static_cast<HBRUSH>(brush.get()));
  }
  void Polygon(const POINT* points, int count, COLORREF fill, COLORREF line) {
    UniqueGdiObject brush(CreateSolidBrush(fill));
    UniqueGdiObject pen(CreatePen(PS_SOLID, 1, line));
    HGDIOBJ oldBrush = SelectObject(dc_, brush.get());
    HGDIOBJ oldPen = SelectObject(dc_, pen.get());
    ::Polygon(dc_, points, count);
    SelectObject(dc_, oldPen);
    SelectObject(dc_, oldBrush);
  }
  void Line(const POINT* points, int count, COLORREF colour, int width) {
    LOGBRUSH brush{BS_SOLID, colour, 0};
    UniqueGdiObject pen(ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_SQUARE | PS_JOIN_MITER,
                                     static_cast<DWORD>(width), &brush, 0, nullptr));
    HGDIOBJ oldPen = SelectObject(dc_, pen.get());
    Polyline(dc_, points, count);
    SelectObject(dc_, oldPen);
  }
  // Text in the largest bold face up to pixelHeight that fits the width, aligned by format.
  void Text(const std::string& text, RECT rect, const char* face, int pixelHeight, int weight,
            COLORREF colour, UINT format) {
    for (int height = pixelHeight; height > 6; --height) {
      UniqueGdiObject font = MakeFont(face, height, weight, ANTIALIASED_QUALITY);
      HGDIOBJ oldFont = SelectObject(dc_, font.get());
      SIZE extent{};
      GetTextExtentPoint32A(dc_, text.c_str(), static_cast<int>(text.size()), &extent);
      if (extent.cx <= rect.right - rect.left || height == 7) {
        SetTextColor(dc_, colour);
        DrawTextA(dc_, text.c_str(), static_cast<int>(text.size()), &rect,
                  format | DT_SINGLELINE | DT_NOPREFIX);
        SelectObject(dc_, oldFont);
        return;
      }
      SelectObject(dc_, oldFont);
    }
  }

  // The disabled or hidden look: every pixel but the key turns to a light grey of its
  // brightness.
  void Grey() {
    GdiFlush();
    const uint32_t key = (GetRValue(kKey) << 16) | (GetGValue(kKey) << 8) | GetBValue(kKey);
    for (int i = 0; i < width_ * height_; ++i) {
      const uint32_t p = bits_[i] & 0xFFFFFF;
      if (p == key) continue;
      const unsigned r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
      const unsigned brightness = (r * 299 + g * 587 + b * 114) / 1000;
      const unsigned v = 125 + brightness * 45 / 100;
      bits_[i] = (v << 16) | (v << 8) | v;
    }
  }

  Picture Take() {
    GdiFlush();
    SelectObject(dc_, old_);
    DeleteDC(dc_);
    dc_ = nullptr;
    Picture picture;
    picture.bitmap = std::move(bitmap_);
    picture.width = width_;
    picture.height = height_;
    return picture;
  }

 private:
  int width_, height_;
  UniqueGdiObject bitmap_;
  uint32_t* bits_ = nullptr;
  HDC dc_ = nullptr;
  HGDIOBJ old_ = nullptr;
};

// --- 16 x 16 drawings on the key colour ---

void DrawFile(Canvas& c) {
  const POINT page[] = {{3, 1}, {10, 1}, {13, 4}, {13, 15}, {3, 15}};
  c.Polygon(page, 5, RGB(255, 255, 255), kOutline);
  const POINT fold[] = {{10, 1}, {10, 4}, {13, 4}};
  c.Polygon(fold, 3, RGB(220, 220, 220), kOutline);
  for (int y : {6, 8, 10, 12}) c.Fill(RECT{5, y, y == 12 ? 9 : 12, y + 1}, RGB(70, 110, 190));
}

void DrawFolder(Canvas& c) {
  const POINT back[] = {{1, 3}, {6, 3}, {8, 5}, {14, 5}, {14, 14}, {1, 14}};
  c.Polygon(back, 6, RGB(220, 170, 60), kFolderLine);
  const POINT front[] = {{1, 14}, {3, 7}, {15, 7}, {14, 14}};
  c.Polygon(front, 4, kFolderFill, kFolderLine);
}

void DrawCross(Canvas& c) {
  const POINT down[] = {{4, 4}, {11, 11}};
  const POINT up[] = {{11, 4}, {4, 11}};
  c.Line(down, 2, kRed, 3);
  c.Line(up, 2, kRed, 3);
}

void DrawCheck(Canvas& c) {
  const POINT check[] = {{3, 8}, {6, 11}, {12, 4}};
  c.Line(check, 3, kGreen, 3);
}

void DrawPlus(Canvas& c) {
  c.Fill(RECT{7, 2, 10, 15}, kGreen);
  c.Fill(RECT{2, 7, 15, 10}, kGreen);
}

using Drawing = void (*)(Canvas&);

void AddImage(HIMAGELIST list, Drawing draw, bool grey) {
  Canvas canvas(16, 16, kKey);
  draw(canvas);
  if (grey) canvas.Grey();
  Picture picture = canvas.Take();
  ImageList_AddMasked(list, picture.get(), kKey);
}

// --- the pictures on the window's face ---

Picture Heading(const char* text, int width, int height, int pixelHeight, UINT align) {
  Canvas c(width, height, GetSysColor(COLOR_BTNFACE));
  c.Text(text, RECT{1, 0, width - 1, height - 2}, "Arial", pixelHeight, FW_BOLD, kNavy,
         align | DT_VCENTER);
  c.Fill(RECT{0, height - 2, width, height - 1}, kNavy);
  return c.Take();
}

Picture Emblem() {
  constexpr int w = 121, h = 105;
  Canvas c(w, h, GetSysColor(COLOR_BTNFACE));
  // A vertical blue gradient, lighter towards the bottom.
  for (int y = 0; y < h; ++y) {
    const int t = y * 255 / (h - 1);
    c.Fill(RECT{0, y, w, y + 1},
           RGB(20 + t * 40 / 255, 60 + t * 60 / 255, 120 + t * 70 / 255));
  }
  // A file and a folder, one behind the other, as the program's subject.
  const POINT folder[] = {{14, 40}, {40, 40}, {46, 47}, {80, 47}, {80, 88}, {14, 88}};
  c.Polygon(folder, 6, kFolderFill, kFolderLine);
  const POINT page[] = {{52, 14}, {88, 14}, {104, 30}, {104, 82}, {52, 82}};
  c.Polygon(page, 5, RGB(255, 255, 255), kOutline);
  const POINT fold[] = {{88, 14}, {88, 30}, {104, 30}};
  c.Polygon(fold, 3, RGB(215, 225, 240), kOutline);
  for (int y = 38; y <= 70; y += 8) c.Fill(RECT{60, y, y == 70 ? 82 : 96, y + 2}, kNavy);
  // The copy arrow: from the page down into the folder.
  const POINT arrow[] = {{30, 58}, {30, 76}, {22, 76}, {36, 92}, {50, 76}, {42, 76}, {42, 58}};
  c.Polygon(arrow, 7, RGB(40, 170, 60), RGB(20, 100, 30));
  c.Text("HARVO", RECT{0, 90, w, h}, "Arial", 12, FW_BOLD, RGB(255, 255, 255),
         DT_CENTER | DT_VCENTER);
  return c.Take();
}

Picture Name() {
  constexpr int w = 112, h = 64;
  Canvas c(w, h, GetSysColor(COLOR_BTNFACE));
  c.Text("Quillmere", RECT{0, 4, w, 34}, "Arial", 22, FW_BOLD, kNavy, DT_CENTER | DT_VCENTER);
  c.Fill(RECT{8, 36, w - 8, 38}, RGB(40, 170, 60));
  c.Text("tagged files, kept safe", RECT{0, 40, w, 58}, "Arial", 11, FW_NORMAL,
         RGB(70, 70, 70), DT_CENTER | DT_VCENTER);
  return c.Take();
}

}  // namespace

FormPictures::FormPictures()
    : logoEmblem_(Emblem()),
      logoName_(Name()),
      statusHeading_(Heading("Status", 54, 17, 14, DT_RIGHT)),
      settingsHeading_(Heading("Settings", 79, 19, 15, DT_RIGHT)),
      taggedHeading_(Heading("Tagged Files", 105, 27, 17, DT_LEFT)) {
  listImages_ = ImageList_Create(16, 16, ILC_COLOR24 | ILC_MASK, kListImageCount, 0);
  AddImage(listImages_, DrawFile, false);    // liFile
  AddImage(listImages_, DrawFile, true);     // liHiddenFile
  AddImage(listImages_, DrawFolder, false);  // liFolder
  AddImage(listImages_, DrawFolder, true);   // liHiddenFolder
  AddImage(listImages_, DrawCross, false);   // liUnTagMark

  glyphs_ = ImageList_Create(kGlyphSize, kGlyphSize, ILC_COLOR24 | ILC_MASK, 8, 0);
  for (Drawing draw : {DrawFolder, DrawCheck, DrawCross, DrawPlus}) {  // Glyph order
    AddImage(glyphs_, draw, false);
    AddImage(glyphs_, draw, true);
  }
}

FormPictures::~FormPictures() {
  if (listImages_) ImageList_Destroy(listImages_);
  if (glyphs_) ImageList_Destroy(glyphs_);
}

void FormPictures::DrawGlyph(HDC dc, Glyph glyph, bool disabled, int centreX,
                             int centreY) const {
  const int index = static_cast<int>(glyph) * 2 + (disabled ? 1 : 0);
  ImageList_Draw(glyphs_, index, dc, centreX - kGlyphSize / 2, centreY - kGlyphSize / 2,
                 ILD_TRANSPARENT);
}

UniqueGdiObject MakeFont(const char* face, int pixelHeight, int weight, DWORD quality) {
  return UniqueGdiObject(CreateFontA(-pixelHeight, 0, 0, 0, weight, FALSE, FALSE, FALSE,
                                     DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                     quality, DEFAULT_PITCH | FF_DONTCARE, face));
}

SIZE TextExtent(HWND window, HGDIOBJ font, const std::string& text) {
  HDC dc = GetDC(window);
  HGDIOBJ old = SelectObject(dc, font);
  SIZE extent{};
  GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &extent);
  SelectObject(dc, old);
  ReleaseDC(window, dc);
  return extent;
}

void PaintPicture(HDC dc, const Picture& picture, const RECT& rect) {
  if (!picture.get()) return;
  HDC source = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(source, picture.bitmap.get());
  const int w = rect.right - rect.left, h = rect.bottom - rect.top;
  if (w == picture.width && h == picture.height) {
    BitBlt(dc, rect.left, rect.top, w, h, source, 0, 0, SRCCOPY);
  } else {
    SetStretchBltMode(dc, HALFTONE);
    StretchBlt(dc, rect.left, rect.top, w, h, source, 0, 0, picture.width, picture.height,
               SRCCOPY);
  }
  SelectObject(source, old);
  DeleteDC(source);
}

}  // namespace qm
