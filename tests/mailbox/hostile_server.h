#pragma once
// The scripted hostile POP3 server (tests/servers/pop3_hostile.py): one port
// per way of misbehaving, for as long as this object lives.
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <string>

class HostileServer {
public:
    HostileServer() {
        proc_.start("/usr/bin/python3", {PWX_SOURCE_DIR "/tests/servers/pop3_hostile.py"});
        if (proc_.waitForReadyRead(10000)) ports_ = QJsonDocument::fromJson(proc_.readLine()).object();
    }
    ~HostileServer() {
        proc_.closeWriteChannel();  // it ends when its input closes
        if (!proc_.waitForFinished(5000)) proc_.kill();
    }
    HostileServer(const HostileServer&) = delete;
    HostileServer& operator=(const HostileServer&) = delete;
    // The port of a mode; "0" when the server did not start.
    std::string port(const std::string& mode) const {
        return std::to_string(ports_[QString::fromStdString(mode)].toInt());
    }

private:
    QProcess proc_;
    QJsonObject ports_;
};
