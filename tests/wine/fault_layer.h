// Where the fault layer (setupapi_shim.cpp) reads the faults a run asks for,
// one a line, and records every call it sees.
#pragma once

inline constexpr char FAULT_LAYER_FAULTS[] = "C:\\kestreltest\\faults.txt";
inline constexpr char FAULT_LAYER_CALLS[] = "C:\\kestreltest\\setupapi-calls.txt";
