#include "upload/thumb_tile.h"

#include "controls/dib_bitmap.h"
#include "framework/wnd.h"
#include "photo/picture_loader.h"
#include "res/resource.h"

namespace {

constexpr COLORREF kFrameColour = RGB(132, 29, 22);
constexpr photo::Bgr kWhite{255, 255, 255};

}  // namespace

HBITMAP MakePlaceholderTile() {
  HBITMAP tile = MakeDibBitmap(photo::Filled(photo::Size{kTileWidth, kTileHeight}, kWhite.blue, kWhite.green, kWhite.red));
  const HDC dc = tile != nullptr ? CreateCompatibleDC(nullptr) : nullptr;
  if (dc == nullptr) return tile;
  const HGDIOBJ old = SelectObject(dc, tile);
  const RECT rc{0, 0, kTileWidth, kTileHeight};
  const HBRUSH frame = CreateSolidBrush(kFrameColour);
  if (frame != nullptr) {
    FrameRect(dc, &rc, frame);
    DeleteObject(frame);
  }
  const HBITMAP picture = static_cast<HBITMAP>(LoadImageW(GetResourceInstance(), MAKEINTRESOURCEW(IDB_NO_PHOTO),
                                                          IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  BITMAP size{};
  if (picture != nullptr && GetObjectW(picture, sizeof size, &size) == sizeof size) {
    const HDC source = CreateCompatibleDC(dc);
    if (source != nullptr) {
      const HGDIOBJ oldSource = SelectObject(source, picture);
      BitBlt(dc, (kTileWidth - size.bmWidth) / 2, (kTileHeight - size.bmHeight) / 2, size.bmWidth, size.bmHeight,
             source, 0, 0, SRCCOPY);
      SelectObject(source, oldSource);
      DeleteDC(source);
    }
  }
  if (picture != nullptr) DeleteObject(picture);
  SelectObject(dc, old);
  DeleteDC(dc);
  return tile;
}

HBITMAP MakePhotoTile(const std::wstring& path, const photo::StopFlag* stop) {
  photo::Image tile;
  const photo::PhotoStatus status = photo::LoadIntoBox(std::u16string(path.begin(), path.end()),
                                                       photo::Size{kTileWidth, kTileHeight}, kWhite, true, stop, &tile);
  return status == photo::PhotoStatus::kOk ? MakeDibBitmap(tile) : nullptr;
}
