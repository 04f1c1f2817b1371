#include "app/session_values.h"

bool UseChinese = true;
std::string RemoteDir;
std::string ProgramDir;
std::string LocalDir;
TStringList* FileQueue = nullptr;

std::string ServerHost = DefaultServerHost;
std::string ServerPort;
