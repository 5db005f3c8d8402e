// KaTek runtime: the export macro shared by every KaTek header.
#pragma once

#ifdef KATEK_BUILD
#define KATEK_API __declspec(dllexport)
#else
#define KATEK_API __declspec(dllimport)
#endif
