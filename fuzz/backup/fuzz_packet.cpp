// libFuzzer target for the packet codec: any bytes as what a peer sends, fed in pieces
// whose sizes come from the input itself. Every packet is dispatched as the client and
// the server would read it (login record, stream announcement, stream blocks against
// the announced size). A broken frame must end in ProtocolError, never a crash, and the
// decoder may never hold more than one bounded packet.

#include "backup/packetcodec.h"

#include <cstdint>
#include <cstdlib>

using namespace vestronia;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    const std::size_t piece = 1 + data[0] % 97;
    const char *bytes = reinterpret_cast<const char *>(data + 1);
    const std::size_t n = size - 1;
    packet::Decoder decoder(70000);
    packet::StreamReceiver receiver;
    try {
        for (std::size_t at = 0; at < n; at += piece) {
            decoder.feed(bytes + at, qsizetype(std::min(piece, n - at)));
            while (std::optional<packet::Packet> p = decoder.next()) {
                if (p->payload.size() > 70000 - 8)
                    std::abort();
                QByteArray a, b;
                quint32 streamSize = 0;
                switch (p->type) {
                case packet::Login: packet::decodeLogin(p->payload, a, b, 512); break;
                case packet::NewStream:
                    if (packet::decodeStreamAnnounce(p->payload, streamSize, a))
                        receiver.start(streamSize, 1 << 20);
                    break;
                case packet::StreamBlock:
                    receiver.addBlock(p->payload.size());
                    if (receiver.received() > receiver.size())
                        std::abort();
                    break;
                default: break;
                }
            }
            if (decoder.buffered() > 70000 + 97)
                std::abort();
        }
    } catch (const ProtocolError &) {
    }
    return 0;
}
