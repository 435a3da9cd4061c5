#include "desktop/peers/tool_button_peer.h"

#include <QStyle>
#include <map>

#include "platform/runtime/ui/input.h"

namespace desk {

namespace {

// Tool buttons carry no captions in the layouts: the host gives each a standard icon.
QIcon ToolIcon(const std::string& name, QStyle* style) {
  static const std::map<std::string, QStyle::StandardPixmap> icons = {
      {"sbtIncluir", QStyle::SP_FileIcon},           {"sbtAlterar", QStyle::SP_FileDialogDetailedView},
      {"sbtExcluir", QStyle::SP_TrashIcon},          {"sbtPesquisar", QStyle::SP_FileDialogContentsView},
      {"sbtVerificar", QStyle::SP_DialogSaveButton}, {"sbtImprimir", QStyle::SP_FileDialogListView},
      {"sbtAjuda", QStyle::SP_DialogHelpButton},     {"sbtFechar", QStyle::SP_DialogCloseButton},
      {"sbtLimpaForn", QStyle::SP_DialogResetButton}, {"sbtGeraConta", QStyle::SP_DialogApplyButton},
      {"sbtCancelaConta", QStyle::SP_DialogCancelButton}, {"sbtVisualizar", QStyle::SP_FileDialogInfoView},
  };
  for (const auto& [key, pixmap] : icons)
    if (rt::SameText(key, name)) return style->standardIcon(pixmap);
  return {};
}

}  // namespace

TToolButtonPeer::TToolButtonPeer(rt::TSpeedButton& button, QWidget* parent) : QToolButton(parent), button_(button) {
  setAutoRaise(button.Flat());
  setFocusPolicy(Qt::NoFocus);
  setIcon(ToolIcon(button.Name(), style()));
  setIconSize(QSize(15, 15));
  connect(this, &QToolButton::clicked, this, [this] { rt::Input::Click(button_); });
}

}  // namespace desk
