// The application object: process-wide paths, the text table and the two
// locks, then the main dialog run modally for the life of the process.
#pragma once

#include "keys/working_config.h"
#include "widgets/application_win32.h"

namespace kv {

class CKorvalinApp : public CApplication {
 public:
  BOOL InitInstance() override;

 private:
  // Guarded by their own locks; they live from before the main dialog is
  // created until after it is destroyed.
  WorkingConfig config_;
  ApplySnapshot snapshot_;
};

}  // namespace kv
