#pragma once

#include "platform/services.h"

namespace tarvesk {

// The real services, with message boxes and the desktop's browser launch.
Services MakeWindowServices();

}  // namespace tarvesk
