// "/captureScreen": a PNG of the screen or of the window in front, answered
// as JSON with a data URL ("fmt" "json", the default), as the data URL
// alone ("string") or as the raw PNG (any other "fmt").
//
// The work files cap.bmp and cap.png in the temporary directory are shared
// by all requests: files_lock_ is held from writing the BMP until the PNG
// is read back, never while the screen is copied.
#pragma once

#include <string>

#include "BaseHttpAPI.h"
#include "Mutex.h"

class APIScreenCap : public BaseHttpAPI {
 public:
  int onHandleEvent(HttpRequest& request) override;

 private:
  Mutex files_lock_;
};
