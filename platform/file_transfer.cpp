#include "platform/file_transfer.h"

std::uint64_t TransferRange(InputFile& source, std::uint64_t position, std::uint64_t length,
                            OutputFile& destination, std::uint64_t at, void* buffer,
                            std::size_t bufferSize) {
  // The system copies what it can without the buffer; the buffer takes the
  // rest piece by piece. Every piece is read from its own absolute position, so
  // a short read cannot shift what follows, and only bytes read are written.
  std::uint64_t done = destination.CopyFrom(source, position, length, at);
  while (done < length) {
    std::uint64_t left = length - done;
    std::size_t piece = left < bufferSize ? static_cast<std::size_t>(left) : bufferSize;
    std::size_t got = source.ReadAt(position + done, buffer, piece);
    if (got > 0 && !destination.WriteAt(at + done, buffer, got)) break;
    done += got;
    if (got < piece) break;
  }
  return done;
}
