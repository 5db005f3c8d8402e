// KaTek, the agent's runtime library: texts, configuration, directories, files, URIs,
// XML output, child commands, messages and tracing. One DLL, KaTek.dll.
#pragma once

#include "KaTek/Array.h"
#include "KaTek/Cmd.h"
#include "KaTek/Config.h"
#include "KaTek/Env.h"
#include "KaTek/Io.h"
#include "KaTek/Msg.h"
#include "KaTek/Net.h"
#include "KaTek/Runtime.h"
#include "KaTek/Str.h"
#include "KaTek/Trc.h"
#include "KaTek/Xml.h"
