// Copying a range between files, on top of the hosts' file streams.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/file_stream.h"

// Moves length bytes of source, from position on, to destination from at on:
// by the system where it can, through buffer (bufferSize bytes) otherwise.
// Returns how many were moved: fewer when the source ends or an operation
// fails (source.error() or destination.error() then tells which).
std::uint64_t TransferRange(InputFile& source, std::uint64_t position, std::uint64_t length,
                            OutputFile& destination, std::uint64_t at, void* buffer,
                            std::size_t bufferSize);
