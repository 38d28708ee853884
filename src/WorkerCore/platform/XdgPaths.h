#pragma once

#include <QString>

// Where the agent keeps its files on a Linux desktop or server (XDG base
// directories, with their documented fallbacks).
namespace XdgPaths {

QString settingsFile();       // $XDG_CONFIG_HOME/KestrelWorker/KestrelWorker.conf
QString dataDirectory();      // $XDG_DATA_HOME/KestrelWorker
QString logDirectory();       // $XDG_STATE_HOME/KestrelWorker/logs
QString autostartDirectory(); // $XDG_CONFIG_HOME/autostart
// <executable dir>/../libexec/kestrel-worker/<tool> when it is there, else the
// first <tool> on PATH; empty when neither exists.
QString bundledOrSystemTool(const QString& tool);

} // namespace XdgPaths
