#include "desktop/peers/tool_button_peer.h"

#include <QStyle>
#include <map>

#include "platform/runtime/ui/input.h"

namespace desk {

namespace {

// The host's picture for each of the runtime's standard glyphs (none: no icon).
QIcon GlyphIcon(rt::TButtonGlyph glyph, QStyle* style) {
  static const std::map<rt::TButtonGlyph, QStyle::StandardPixmap> icons = {
      {rt::bgNew, QStyle::SP_FileIcon},
      {rt::bgEdit, QStyle::SP_FileDialogDetailedView},
      {rt::bgDelete, QStyle::SP_TrashIcon},
      {rt::bgSearch, QStyle::SP_FileDialogContentsView},
      {rt::bgSave, QStyle::SP_DialogSaveButton},
      {rt::bgPrint, QStyle::SP_FileDialogListView},
      {rt::bgHelp, QStyle::SP_DialogHelpButton},
      {rt::bgClose, QStyle::SP_DialogCloseButton},
      {rt::bgClear, QStyle::SP_DialogResetButton},
      {rt::bgApply, QStyle::SP_DialogApplyButton},
      {rt::bgCancel, QStyle::SP_DialogCancelButton},
      {rt::bgPreview, QStyle::SP_FileDialogInfoView},
  };
  auto it = icons.find(glyph);
  return it == icons.end() ? QIcon() : style->standardIcon(it->second);
}

}  // namespace

TToolButtonPeer::TToolButtonPeer(rt::TSpeedButton& button, QWidget* parent) : QToolButton(parent), button_(button) {
  setAutoRaise(button.Flat());
  setFocusPolicy(Qt::NoFocus);
  setIcon(GlyphIcon(button.Glyph(), style()));
  setIconSize(QSize(15, 15));
  connect(this, &QToolButton::clicked, this, [this] { rt::Input::Click(button_); });
}

}  // namespace desk
