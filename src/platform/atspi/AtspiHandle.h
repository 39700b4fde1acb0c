#pragma once

#include <memory>

typedef struct _AtspiAccessible AtspiAccessible;

// Releases one reference to a libatspi object.
struct AtspiUnref
{
    void operator()(AtspiAccessible* accessible) const;
};

// An owned reference to an accessible object of some application.
using AtspiHandle = std::unique_ptr<AtspiAccessible, AtspiUnref>;

// A second owned reference to the same object.
AtspiHandle shareHandle(AtspiAccessible* accessible);
