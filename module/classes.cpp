// The two form classes as the host reaches them: by class name, creating an instance
// owned by the given component and run through its creation step (layouts, OnCreate).
// The returned form is an ordinary runtime form; the module's globals and flags are not
// touched (the factories CriaAlocaMaoObra and CriaRelAlocMObra are the screens' entries).
#include <cstring>

#include "alloc/frm_aloca_mao.h"
#include "report/frm_rel_aloc_mobra.h"

extern "C" {

__attribute__((visibility("default"))) rt::TForm* CreateFormOfClass(const char* class_name, rt::TComponent* owner) {
  if (!class_name) return nullptr;
  if (std::strcmp(class_name, "TfrmAlocaMao") == 0) return rt::CreateForm<TfrmAlocaMao>(owner);
  if (std::strcmp(class_name, "TfrmRelAlocMObra") == 0) return rt::CreateForm<TfrmRelAlocMObra>(owner);
  return nullptr;
}

// The names of the form classes, null-terminated.
__attribute__((visibility("default"))) const char* const* FormClassNames() {
  static const char* const names[] = {"TfrmAlocaMao", "TfrmRelAlocMObra", nullptr};
  return names;
}

}  // extern "C"
