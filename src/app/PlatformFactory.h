#pragma once

#include "dictation/DictationBackends.h"

// Chooses the dictation pipeline's back ends for this session, by Qt's platform plug-in.
// A service that cannot be offered gets a back end that fails with the reason.
namespace PlatformFactory {

DictationBackends makeDictationBackends();

} // namespace PlatformFactory
