#include "platform/atspi/AtspiHandle.h"

#include <atspi/atspi.h>

void AtspiUnref::operator()(AtspiAccessible* accessible) const
{
    g_object_unref(accessible);
}

AtspiHandle shareHandle(AtspiAccessible* accessible)
{
    return AtspiHandle(accessible ? static_cast<AtspiAccessible*>(g_object_ref(accessible))
                                  : nullptr);
}
