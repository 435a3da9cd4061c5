// Registration of the runtime's own control classes and their layout properties.
#pragma once

namespace rt {

class TClassRegistry;

// TComponent, TControl, TWinControl, TPanel, TGroupBox, TScrollBox, TPageControl,
// TTabSheet, TLabel, TEdit, TCheckBox, TSpeedButton, TMainMenu, TMenuItem, TForm.
void RegisterStandardClasses(TClassRegistry& registry);

}  // namespace rt
