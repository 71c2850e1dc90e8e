// The Qt backend's view of a toolkit control, for code that must reach the
// real widget (tests driving the window, tools grabbing pictures of it).
// The windowed program itself never includes this header.
#pragma once

#include "platform/toolkit.h"

class QWidget;

namespace zelbo::toolkit {

QWidget* QtWidget(const Control& control);

}  // namespace zelbo::toolkit
