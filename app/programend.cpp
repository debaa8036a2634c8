#include "programend.h"

#include "logger.h"
#include "tradeclient.h"

void endProgram(TradeClient *client)
{
    // The window wrote "Closed" as it went; the log thread and the client thread still run.
    Logger::instance()->flush();
    TradeClient::shutdownAndFree(client, 3000);
}
