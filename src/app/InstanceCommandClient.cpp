#include "app/InstanceCommandClient.h"

#include <QFile>

namespace InstanceCommandClient {

Answer send(const QString& socketPath, InstanceCommand command, int answerTimeoutMs)
{
    const QByteArray path = QFile::encodeName(socketPath);
    const InstanceSocketClient::Reply reply =
        InstanceSocketClient::send(std::string(path.constData(), size_t(path.size())),
                                   instanceCommandName(command).toStdString(), answerTimeoutMs);
    return {reply.outcome, QString::fromLocal8Bit(reply.error.c_str())};
}

} // namespace InstanceCommandClient
