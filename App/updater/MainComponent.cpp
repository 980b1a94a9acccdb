#include "updater/MainComponent.h"

//==============================================================================
MainComponent::MainComponent()
    : MainComponent (MembersOnly {})
{
    checkUpdateFile();
}

MainComponent::MainComponent (MembersOnly)
{
}

MainComponent::~MainComponent()
{
}
