#include "updater/MainComponent.h"

// The transfer protocol comes next; until then a started update ends on the error screen and
// never claims success.
void MainComponent::run()
{
    progress = 0.0;
    postScreenState (updating);
    postScreenState (updateFailed);
}
