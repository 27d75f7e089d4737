#include "platform/linux/PulseTag.h"

#include "platform/AppId.h"

PulseTag::PulseTag()
    : props_(pa_proplist_new())
{
    pa_proplist_sets(props_, PA_PROP_APPLICATION_ID, appId);
    pa_proplist_sets(props_, PA_PROP_APPLICATION_NAME, "Zelvan");
}

PulseTag::~PulseTag()
{
    pa_proplist_free(props_);
}
