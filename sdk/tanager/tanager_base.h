// Counterpart of tanager_base.idl for the generated header: the real declarations.
#pragma once
#include <ole2.h>
