// The main window's pictures, drawn by the program when it starts: the logo strip, the three
// headings, the button glyphs (each with a normal and a disabled look) and the images of the
// tag list's rows. Nothing is loaded from files or resources.
#pragma once

#include "base/handles.h"

#include <windows.h>
#include <commctrl.h>

#include <string>

namespace qm {

// Images of the tag list, by index.
enum ListImage : int {
  liFile = 0,
  liHiddenFile = 1,
  liFolder = 2,
  liHiddenFolder = 3,
  liUnTagMark = 4,
  kListImageCount = 5,
};

enum class Glyph : int { Browse = 0, Apply, UnTag, Tag };
constexpr int kGlyphSize = 16;

struct Picture {
  UniqueGdiObject bitmap;
  int width = 0;
  int height = 0;
  HBITMAP get() const { return static_cast<HBITMAP>(bitmap.get()); }
};

class FormPictures {
 public:
  FormPictures();  // draws every picture
  ~FormPictures();
  FormPictures(const FormPictures&) = delete;
  FormPictures& operator=(const FormPictures&) = delete;

  const Picture& LogoEmblem() const { return logoEmblem_; }  // 121 x 105
  const Picture& LogoName() const { return logoName_; }      // centred beside the emblem
  const Picture& StatusHeading() const { return statusHeading_; }    // 54 x 17
  const Picture& SettingsHeading() const { return settingsHeading_; }  // 79 x 19
  const Picture& TaggedHeading() const { return taggedHeading_; }    // 105 x 27

  // kListImageCount images of 16 x 16, in ListImage order.
  HIMAGELIST ListImages() const { return listImages_; }
  // Draws a glyph centred on (x, y), greyed when disabled.
  void DrawGlyph(HDC dc, Glyph glyph, bool disabled, int centreX, int centreY) const;

 private:
  Picture logoEmblem_, logoName_, statusHeading_, settingsHeading_, taggedHeading_;
  HIMAGELIST listImages_ = nullptr;
  HIMAGELIST glyphs_ = nullptr;  // per glyph: normal, then disabled
};

// A font of the face at that character height in pixels (without the internal leading).
UniqueGdiObject MakeFont(const char* face, int pixelHeight, int weight,
                         DWORD quality = DEFAULT_QUALITY);

// The size of a text in a font, as a window's device context measures it.
SIZE TextExtent(HWND window, HGDIOBJ font, const std::string& text);

// Draws a picture into rect, stretched to it when the sizes differ.
void PaintPicture(HDC dc, const Picture& picture, const RECT& rect);

}  // namespace qm
