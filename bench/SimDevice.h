// A device of any protocol qvsm-sim knows, answering at once through the simulator's own
// responder: the bus of a qvsm-sim configuration without its pseudo-terminal or listener.
// The responder's own heap allocations are counted apart (OwnAllocs), so that a benchmark
// can leave them out of the driver's.
#ifndef QVSM_BENCH_SIMDEVICE_H
#define QVSM_BENCH_SIMDEVICE_H

#include <qvsm/qvsm.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace sim {
class CResponder;
}

namespace bench {

class SimDevice : public ISerBase {
public:
    // config: a qvsm-sim configuration; its first bus is the device. Ok() false when it is
    // refused (Error() says why).
    explicit SimDevice(const std::string& config);
    ~SimDevice();
    bool Ok() const { return m_resp != nullptr; }
    const std::string& Error() const { return m_err; }
    long OwnAllocs() const { return m_own; }

    unsigned int GetMode() override { return 0; }
    int Open(int) override { return 1; }
    int Close() override { return 1; }
    int IsOpen() override { return 1; }
    int GetHandle() override { return -1; }
    int SetTimeout(unsigned int, unsigned int) override { return 1; }
    int Purge() override;
    int Read(unsigned char* buf, int cap, int) override;
    int Write(const unsigned char* buf, int len) override;
    int WriteStr(const char* text) override;

private:
    std::unique_ptr<sim::CResponder> m_resp;
    std::string m_err;
    std::vector<uint8_t> m_in, m_out;
    long m_own = 0;
};

}  // namespace bench

#endif
