// provisional: built by grouptype (record commands); only what the drops need.
#include "app/BMController.h"

#include "model/BMGroup.h"
#include "platform/ui/AlertPanel.h"
#include "store/TVXDataBase.h"

