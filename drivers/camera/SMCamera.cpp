#include "drivers/camera/SMCamera.h"

#include <cstdint>
#include <cstring>
#include <ctime>

#include "base/SMEnv.h"

const char CSMCameraBase::kImages[] = "/NandFlash/www/wwwpub/images/";

namespace {
const SMTableDef kTable = {"tbCamera", "FileName VARCHAR(64)"};
}  // namespace

// ---- shared ------------------------------------------------------------------------------

CSMCameraBase::CSMCameraBase(int type, const char* display) : CSMBase(type), m_type{type, display, "485接口..."}
{
    m_pData = &m_area;
}

int CSMCameraBase::RegDb(IDbBase* db, int force)
{
    return RegDbRows(db, force, m_type, nullptr, 0);
}

int CSMCameraBase::ChkDb(tagSMItem* item)
{
    if (!m_pDb) return 0;
    return ChkDbTable(item, kTable);
}

void CSMCameraBase::SetName(const char* prefix, const char* suffix)
{
    struct tm t = SMLocalNow();
    std::snprintf(m_area.name, sizeof m_area.name, "%s%d%02d%02d%02d%02d%02d%s", prefix, t.tm_year + 1900,
                  t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, suffix);
}

int CSMCameraBase::DataUpd(int flags, int* almBits, int* snapId, int sid, IDbBase* hist)
{
    SMUpd u = UpdBegin(flags, almBits, snapId, sid, 0);
    if (!almBits) std::memset(&m_area, 0, sizeof m_area);
    m_nFailCount = 0;
    if (m_pDb) {
        UpdSubSys(u);
        char brief[80];
        std::snprintf(brief, sizeof brief, "文件名：%s", m_area.name);
        UpdBriefText(u, brief);
    }
    IDbBase* db = hist ? hist : m_pDb;
    if (!db) return 0;
    return SqlExec(db,
                   "update tbCamera set DateUpd=datetime(CURRENT_TIMESTAMP,'localtime'),State=%d,SnapID=%d,"
                   "FileName='%s' where sid=%d",
                   u.state, u.snapId, m_area.name, u.sid) == 0
               ? 1
               : 0;
}

bool CSMCameraBase::CPicture::Open(const char* name)
{
    Discard();
    char dir[sizeof m_final];
    if (!SMPath(kImages, dir, sizeof dir)) return false;
    int a = std::snprintf(m_final, sizeof m_final, "%s%s", dir, name);
    int b = std::snprintf(m_tmp, sizeof m_tmp, "%s.part", m_final);
    if (a < 0 || b < 0 || a >= static_cast<int>(sizeof m_final) || b >= static_cast<int>(sizeof m_tmp)) return false;
    m_f = std::fopen(m_tmp, "wb");
    m_bad = false;
    return m_f != nullptr;
}

bool CSMCameraBase::CPicture::Write(const unsigned char* p, size_t n)
{
    if (!m_f) return false;
    if (n > 0 && std::fwrite(p, 1, n, m_f) != n) m_bad = true;
    return !m_bad;
}

bool CSMCameraBase::CPicture::Commit()
{
    if (!m_f) return false;
    bool ok = !m_bad;
    if (std::fclose(m_f) != 0) ok = false;
    m_f = nullptr;
    if (ok && std::rename(m_tmp, m_final) == 0) return true;
    std::remove(m_tmp);
    return false;
}

void CSMCameraBase::CPicture::Discard()
{
    if (!m_f) return;
    std::fclose(m_f);
    m_f = nullptr;
    std::remove(m_tmp);
}

// ---- VC0706 module -----------------------------------------------------------------------

CSMCamera::CSMCamera() : CSMCameraBase(3072, "相机 %s"), m_image(new unsigned char[IMAGE_SIZE])
{
    SetNote("QV-CAM");
    m_nDataCount = 2;
}

CSMCamera::~CSMCamera() { delete[] m_image; }

int CSMCamera::DataVal(int n)
{
    if (n == 1) return m_area.len;
    // The address of the file name, as the host's integer (its low 32 bits on 64-bit hosts).
    if (n == 2) return static_cast<int>(reinterpret_cast<std::uintptr_t>(m_area.name));
    return -1;
}

bool CSMCamera::Send(ISerBase* port, const unsigned char* frame, int n)
{
    return port->Write(frame, n) == n;
}

bool CSMCamera::Starts(const unsigned char* r, int n, const unsigned char* prefix, int len)
{
    return n >= len && std::memcmp(r, prefix, static_cast<size_t>(len)) == 0;
}

int CSMCamera::DoFunc(ISerBase* port, int, int, void*, int)
{
    static const unsigned char kReset[] = {0x56, 0x00, 0x26, 0x00};
    static const unsigned char kResetOk[] = {0x76, 0x00, 0x26, 0x00};
    static const unsigned char kResume[] = {0x56, 0x00, 0x36, 0x01, 0x03};
    static const unsigned char kResumeOk[] = {0x76, 0x00, 0x36, 0x00, 0x00};
    static const unsigned char kCompress[] = {0x56, 0x00, 0x31, 0x05, 0x01, 0x01, 0x12, 0x04, 0x80};
    static const unsigned char kSize[] = {0x56, 0x00, 0x31, 0x05, 0x04, 0x01, 0x00, 0x19, 0x11};
    static const unsigned char kWriteOk[] = {0x76, 0x00, 0x31, 0x00, 0x00};

    if (!port || !port->IsOpen()) return 0;
    port->Purge();
    SMSleepMs(1000);
    unsigned char r[200];

    bool ok = false;
    for (int i = 0; i < 3 && !ok; ++i) {
        if (!Send(port, kReset, sizeof kReset)) return 0;
        SMSleepMs(100);
        int n = port->Read(r, 200, 0);
        if (n <= 0) trace_log("RtLog", "SMCamera DoFunc 26 read 0\r\n");
        ok = Starts(r, n, kResetOk, sizeof kResetOk);
    }
    if (!ok) return 0;

    // Only what has arrived is read: a module that has just booted still sends "Init end"
    // after its reset reply, which counts as the acknowledgement.
    ok = false;
    for (int i = 0; i < 3 && !ok; ++i) {
        SMSleepMs(100);
        trace_log("RtLog", "SMCamera DoFunc 36 try %d\r\n", i);
        if (!Send(port, kResume, sizeof kResume)) return 0;
        int n = port->Read(r, 20, -1);
        if (n <= 0) return 0;
        for (int k = 0; k < n; ++k) std::printf("%02x ", r[k]);
        std::printf("\n");
        ok = Starts(r, n, reinterpret_cast<const unsigned char*>("Init end"), 8) ||
             Starts(r, n, kResumeOk, sizeof kResumeOk);
    }
    if (!ok) return 0;

    // Compression and image size share one count of attempts.
    int tries = 0;
    ok = false;
    while (tries < 3 && !ok) {
        ++tries;
        SMSleepMs(100);
        if (!Send(port, kCompress, sizeof kCompress)) return 0;
        int n = port->Read(r, 20, 0);
        if (n <= 0) return 0;
        ok = Starts(r, n, kWriteOk, sizeof kWriteOk);
    }
    if (!ok) return 0;
    ok = false;
    while (tries < 3 && !ok) {
        ++tries;
        SMSleepMs(100);
        bool sent = false;
        for (int w = 0; w < 3 && !sent; ++w) sent = Send(port, kSize, sizeof kSize);
        if (!sent) continue;
        int n = port->Read(r, 20, 0);
        trace_log("RtLog", "SMCamera DoFunc 31b: %d  write:%d  read:%d\r\n", tries, 9, n);
        ok = Starts(r, n, kWriteOk, sizeof kWriteOk);
    }
    if (!ok) return 0;
    SMSleepMs(100);
    trace_log("RtLog", "SMCamera DoFunc ok\r\n");
    return 1;
}

int CSMCamera::DataGet(ISerBase* port, int, int)
{
    static const unsigned char kStop[] = {0x56, 0x00, 0x36, 0x01, 0x00};
    static const unsigned char kStopOk[] = {0x76, 0x00, 0x36, 0x00, 0x00};
    static const unsigned char kLength[] = {0x56, 0x00, 0x34, 0x01, 0x00};
    static const unsigned char kLengthOk[] = {0x76, 0x00, 0x34, 0x00, 0x04, 0x00, 0x00};
    static const unsigned char kFrameOk[] = {0x76, 0x00, 0x32, 0x00, 0x00, 0xFF, 0xD8};

    trace_log("RtLog", "SMCamera DataGet start...\r\n");
    if (!port || !port->IsOpen()) return 0;
    port->Purge();
    unsigned char r[20];
    if (!Send(port, kStop, sizeof kStop)) return 0;
    SMSleepMs(100);
    int n = port->Read(r, 20, 0);
    if (n <= 0) {
        trace_log("RtLog", "SMCamera DataGet 36 read 0\r\n");
        return 0;
    }
    if (!Starts(r, n, kStopOk, sizeof kStopOk)) return 0;

    SMSleepMs(300);
    if (!Send(port, kLength, sizeof kLength)) return 0;
    n = port->Read(r, 20, 0);
    if (n < 9 || !Starts(r, n, kLengthOk, sizeof kLengthOk)) return 0;
    m_area.len = static_cast<unsigned short>(r[7] * 256 + r[8]);
    SMSleepMs(100);

    port->Purge();
    unsigned char read[16] = {0x56, 0x00, 0x32, 0x0C, 0x00, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                              static_cast<unsigned char>(m_area.len >> 8), static_cast<unsigned char>(m_area.len),
                              0x00, 0x1A};
    std::memcpy(m_cmdBuf, read, sizeof read);
    if (!Send(port, m_cmdBuf, sizeof read)) return 0;
    // Reading stops when the buffer is full (an announced length always fits).
    int total = 0;
    while (total < IMAGE_SIZE) {
        int room = IMAGE_SIZE - total < 1024 ? IMAGE_SIZE - total : 1024;
        int got = port->Read(m_image + total, room, 0);
        if (got <= 0) break;
        total += got < room ? got : room;
    }
    trace_log("RtLog", "SMCamera DataGet 32 %d len:%d  photolen:%d\r\n", total > 0, total, m_area.len);
    if (!Starts(m_image, total, kFrameOk, sizeof kFrameOk)) {
        SMSleepMs(2000);
        return 0;
    }
    if (total < m_area.len + 5) return 0;

    SetName("", ".JPEG");
    CPicture pic;
    if (pic.Open(m_area.name)) {
        pic.Write(m_image + 5, m_area.len);
        if (pic.Commit()) ++m_pictures;
    }
    trace_log("RtLog", "SMCamera DataGet ok %s\r\n", m_area.name);
    return 1;
}

// ---- 3GE unit ----------------------------------------------------------------------------

SMCamera3ge::SMCamera3ge() : CSMCameraBase(3073, "相机3GE %s")
{
    SetNote("QV-CAM_3GE");
    m_nDataCount = 1;
}

int SMCamera3ge::DataVal(int n)
{
    return n == 1 ? m_area.len : -1;
}

int SMCamera3ge::DataGet(ISerBase* port, int, int)
{
    trace_log("RtLog", "截图: 开始\r\n");
    if (!port) return 0;
    port->Purge();
    if (port->Write(reinterpret_cast<const unsigned char*>("UG3#"), 4) != 4) return 0;
    SMSleepMs(100);
    unsigned char h[4];
    if (port->Read(h, 3, 0) != 3 || h[0] != 'U' || h[1] != 'G' || h[2] != '#') return 0;
    if (port->Read(h, 4, 0) != 4 || h[0] != 'U' || h[1] != 'P') return 0;
    int remain = h[2] | (h[3] << 8);
    unsigned char skip;
    if (port->Read(&skip, 1, 0) != 1) return 0;

    SetName("K", ".jpeg");
    m_area.len = static_cast<unsigned short>(remain);
    CPicture pic;
    if (!pic.Open(m_area.name)) return 0;
    unsigned char buf[512];
    int received = 0;
    while (remain > 0) {
        int n = port->Read(buf, remain < 512 ? remain : 512, 0);
        if (n <= 0) break;
        if (!pic.Write(buf, static_cast<size_t>(n))) break;
        received += n;
        remain -= n;
    }
    if (!pic.Commit()) return 0;
    m_area.len = static_cast<unsigned short>(received);
    trace_log("RtLog", "截图: %s\r\n", m_area.name);
    return 1;
}
