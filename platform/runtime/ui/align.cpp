#include "platform/runtime/ui/align.h"

#include <algorithm>

namespace rt {

namespace {

void Place(TControl& control, int left, int top, int width, int height) {
  if (control.Left() != left || control.Top() != top || control.Width() != width || control.Height() != height)
    control.SetBounds(left, top, width, height);
}

}  // namespace

void AlignControls(TWinControl& container, const TRect& client) {
  TRect rest = client;
  for (TAlign pass : {alTop, alBottom, alLeft, alRight, alClient}) {
    for (TControl* c : container.Controls()) {
      if (c->Align() != pass || !c->Visible()) continue;
      switch (pass) {
        case alTop:
          Place(*c, rest.Left, rest.Top, rest.Width(), c->Height());
          rest.Top += c->Height();
          break;
        case alBottom:
          Place(*c, rest.Left, rest.Bottom - c->Height(), rest.Width(), c->Height());
          rest.Bottom -= c->Height();
          break;
        case alLeft:
          Place(*c, rest.Left, rest.Top, c->Width(), rest.Height());
          rest.Left += c->Width();
          break;
        case alRight:
          Place(*c, rest.Right - c->Width(), rest.Top, c->Width(), rest.Height());
          rest.Right -= c->Width();
          break;
        default:
          Place(*c, rest.Left, rest.Top, std::max(0, rest.Width()), std::max(0, rest.Height()));
          break;
      }
    }
  }
}

}  // namespace rt
