#pragma once

#include "app/CommandLine.h"
#include "app/InstanceSocketClient.h"

#include <QString>

// Hands one command to the running instance over its socket with plain blocking calls: no
// application object, no event loop. A compositor binding runs `wendlo --stop-dictation` on
// every release, so the start-up of this process is part of the user's wait for the text.
// Anything short of a socket that takes the command is left to SingleInstance, which waits
// for an instance that is still starting and tells "not running" from "not answering".
namespace InstanceCommandClient {

using Outcome = InstanceSocketClient::Outcome;

struct Answer
{
    Outcome outcome = Outcome::NotReached;
    QString error;
};

Answer send(const QString& socketPath, InstanceCommand command, int answerTimeoutMs);

} // namespace InstanceCommandClient
