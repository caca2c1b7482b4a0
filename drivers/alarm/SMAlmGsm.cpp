#include "drivers/alarm/SMAlmGsm.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "drivers/alarm/SMAtDialog.h"

namespace {
const SMPointDef kPoints[] = {
    {0, 1, "Signal", 1, "信号强度", 0, 1, 0, 2, "最弱|可发出短信最弱强度", 0, "", 0},
};

const char kAlarmCols[] = "DevId INTEGER,Status INTEGER,Signal INTEGER,iSignal INTEGER";
// tbAlmGsm is what DataUpd writes; it gets the columns of tbAlarm so that any host works.
const SMTableDef kTables[] = {{"tbAlarm", kAlarmCols}, {"tbAlmGsm", kAlarmCols}};

const int kTestTries = 5;
}  // namespace

CSMAlmGsm::CSMAlmGsm()
    : CSMBase(2561), m_nSignal(0), m_bGsmInited(0), m_szSmsc(), m_szNum(), m_szText(), m_szParam()
{
    SetNote("QV-ALM PT");
    m_nDataCount = 1;
    m_pData = &m_nSignal;
}

int CSMAlmGsm::RegDb(IDbBase* db, int force)
{
    return RegDbRows(db, force, {2560, "短信猫 %s", "232接口,支持短信 彩信 GPRS等"}, kPoints, 1);
}

int CSMAlmGsm::ChkDb(tagSMItem* item)
{
    int r = ChkDbTables(item, kTables, 2);
    if (item && r) ChkDbDatInit("tbAlmGsm", item);
    return r;
}

int CSMAlmGsm::DataGet(ISerBase* port, int addr, int)
{
    if (!port || !port->IsOpen()) return 0;
    trace_sm_log("RtLog", "[P%02d] SMAlmGsm: s=%d \r\n", Item() ? Item()->Addr : addr, m_nSignal);
    return 1;
}

int CSMAlmGsm::DataUpd(int flags, int* almBits, int* snapId, int sid, IDbBase* hist)
{
    SMUpd u = UpdBegin(flags, almBits, snapId, sid, 0);
    int signal = almBits ? m_nSignal : 0;
    int iSignal = almBits ? AlmBit(almBits, 1) : SM_ST_FAULT;
    IDbBase* db = hist ? hist : m_pDb;
    if (!db) return 0;
    int r = SqlExec(db,
                    "update tbAlmGsm set DateUpd=datetime(CURRENT_TIMESTAMP,'localtime'),State=%d,SnapID=%d,"
                    "Signal=%d,iSignal=%d where sid=%d",
                    u.state, u.snapId, signal, iSignal, u.sid);
    return r == 0 ? 1 : 0;
}

int CSMAlmGsm::SetNumber(const char* num)
{
    char n[SMS_NUM_MAX + 1];
    if (gsmIntlNumber(num, n) == 0) {
        trace_sm_log("RtLog", "[CSMAlmGsm::DoFunc] number refused: %.32s\r\n", num ? num : "");
        return 0;
    }
    std::memcpy(m_szNum, n, sizeof m_szNum);
    return static_cast<int>(std::strlen(m_szNum));
}

int CSMAlmGsm::SetText(const char* text, int len)
{
    if (len < 0) len = static_cast<int>(std::strlen(text));
    if (len >= static_cast<int>(sizeof m_szText)) {
        trace_sm_log("RtLog", "[CSMAlmGsm::DoFunc] text of %d bytes refused\r\n", len);
        return 0;
    }
    std::memcpy(m_szText, text, static_cast<size_t>(len));
    m_szText[len] = 0;
    return len;
}

int CSMAlmGsm::DoFunc(ISerBase* port, int addr, int cmd, void* buf, int)
{
    const char* text = static_cast<const char*>(buf);
    trace_sm_log("RtLog", "[CSMAlmGsm::DoFunc] addr=%d, func=%d, buf=%s\n", addr, cmd, text ? text : "(null)");
    switch (cmd) {
    case 30: return text ? GsmInit(port) : 1;
    case 31: return text ? SetNumber(text) : 0;
    case 32: return text ? SetText(text, -1) : 0;
    case 33:
        if (!text || std::strlen(text) >= sizeof m_szParam) return 0;
        std::snprintf(m_szParam, sizeof m_szParam, "%s", text);
        return static_cast<int>(std::strlen(m_szParam));
    default: break;
    }
    if (!port || !port->IsOpen()) return 0;
    int failed = 0;
    while (!GsmTest(port)) {
        ++failed;
        if (failed >= kTestTries) {
            trace_sm_log("RtLog", "GsmTest try Error: %d \n", failed);
            return 0;
        }
        trace_sm_log("RtLog", "GsmTest try: %d \n", failed);
        SMSleepMs(1000);
    }
    switch (cmd) {
    case 0: return 1;
    case 1: return GsmInit(port);
    case 2: return GsmSmsc(port);
    case 3: break;
    case 34: return GsmSms(port);
    case 35:
        if (!text || !SetText(text, -1)) return 0;
        return GsmSms(port);
    default: return 0;
    }
    // 3: send now, "number;text" or the text alone.
    if (m_bGsmInited != 1) GsmInit(port);
    if (m_bGsmInited != 1) return 0;
    if (!m_szSmsc[0]) GsmSmsc(port);
    if (!m_szSmsc[0]) return 0;
    if (text) {
        const char* semi = std::strchr(text, ';');
        if (semi) {
            char num[64];
            size_t n = static_cast<size_t>(semi - text);
            if (n >= sizeof num) return 0;
            std::memcpy(num, text, n);
            num[n] = 0;
            if (!SetNumber(num) || !SetText(semi + 1, -1)) return 0;
        } else if (!SetText(text, -1)) {
            return 0;
        }
    }
    return GsmSms(port);
}

int CSMAlmGsm::GsmTest(ISerBase* port)
{
    SMAtReply r{};
    AtCmd(port, "AT\r", -1, 500, r, 16);
    trace_sm_log("RtLog", "write AT:%d\r\n", r.written);
    if (r.n <= 0) {
        trace_sm_log("RtLog", "[CSMAlmGsm::GsmTest] Read AT Error\r\n");
        return 0;
    }
    if (!r.Has("OK")) {
        trace_sm_log("RtLog", "[CSMAlmGsm::GsmTest] Check AT Error\r\n");
        return 0;
    }
    if (Item() && !VariantIs01()) return 1;
    if (AtCmd(port, "AT+CSQ\r", -1, 500, r) <= 0) return 0;
    const char* colon = std::strstr(r.text, ": ");
    if (colon && std::atoi(colon + 2) <= 9) return 0;  // too weak to send
    if (AtCmd(port, "AT+CPIN?\r", -1, 500, r) <= 0) return 0;
    if (!r.Has("READY")) {
        port->Write(reinterpret_cast<const unsigned char*>("AT+CFUN=1,1\r"), 12);  // full modem reset
        SMSleepMs(2500);
        m_bGsmInited = 0;
        return 0;
    }
    if (AtCmd(port, "AT+COPS?\r", -1, 500, r) <= 0) return 0;
    return r.Has(",\"") ? 1 : 0;  // an operator is registered
}

int CSMAlmGsm::GsmInit(ISerBase* port)
{
    m_bGsmInited = 0;
    SMAtReply r{};
    if (AtCmd(port, "ATZ\r", -1, 500, r) <= 0) {
        trace_sm_log("RtLog", "[CSMAlmGsm::GsmInit] Read AT Error\r\n");
        return 0;
    }
    if (!r.Has("OK")) {
        trace_sm_log("RtLog", "[CSMAlmGsm::GsmInit] Check AT Error\r\n");
        return 0;
    }
    if (VariantIs01() && (AtCmd(port, "ATE0\r", -1, 500, r) <= 0 || !r.Has("OK"))) return 0;
    if (Item() && ItemVariant() == 0) {
        if (AtCmd(port, "AT+ESIMS?\r", -1, 500, r) <= 0 || !r.Has("ESIMS: 1")) return 0;
        if (AtCmd(port, "AT+COPS?\r", -1, 500, r) <= 0) return 0;
    }
    if (AtCmd(port, "AT+CSQ\r", -1, 500, r) <= 0) {
        trace_sm_log("RtLog", "[CSMAlmGsm::GsmInit] Read \"AT+CSQ\" Error\r\n");
        return 0;
    }
    char* comma = std::strchr(r.text, ',');
    if (comma) *comma = 0;
    char* colon = comma ? std::strchr(r.text, ':') : nullptr;
    const char* value = colon ? colon + 1 : nullptr;
    if (value && *value == ' ') ++value;
    if (!value || (std::strlen(value) == 1 && *value >= '0' && *value < '6')) {
        trace_sm_log("RtLog", "[CSMAlmGsm::GsmInit] Check \"AT+CSQ\" Error\r\n");
        return 0;
    }
    m_nSignal = std::atoi(value);
    if (AtCmd(port, "AT+CMGF=0\r", -1, 1000, r) <= 0) {
        trace_sm_log("RtLog", "[CSMAlmGsm::GsmInit] Read \"AT+CMGF=0\" Error\r\n");
        return 0;
    }
    if (AtCmd(port, "AT+CMEE=2\r", -1, 1000, r) <= 0) {
        trace_sm_log("RtLog", "[CSMAlmGsm::GsmInit] Check \"AT+CMEE=2\" Error\r\n");
        return 0;
    }
    m_bGsmInited = 1;
    return 1;
}

int CSMAlmGsm::GsmSmsc(ISerBase* port)
{
    m_szSmsc[0] = 0;
    SMAtReply r{};
    if (VariantIs01()) {
        if (AtCmd(port, "AT+CSCS=\"GSM\";+CSCA?\r\n", 22, 500, r) <= 0) return 0;
    } else {
        if (AtCmd(port, "AT+CSCS=?\r\n", -1, 500, r) <= 0) {
            trace_sm_log("RtLog", "[CSMAlmGsm::GsmSmsc] Read \"AT+CSCS=?\" Error\r\n");
            return 0;
        }
        if (!r.Has("OK")) {
            trace_sm_log("RtLog", "[CSMAlmGsm::GsmSmsc] Check \"AT+CSCS=?\" Error\r\n");
            return 0;
        }
        if (AtCmd(port, "AT+CSCA?\r\n", -1, 500, r) <= 0) {
            trace_sm_log("RtLog", "[CSMAlmGsm::GsmSmsc] Read \"AT+CSCA?\" Error\r\n");
            return 0;
        }
    }
    if (!r.Has("OK")) {
        trace_sm_log("RtLog", "获取当前的服务中心地址失败!\r\n");
        return 0;
    }
    return gsmScaFromReply(r.text, m_szSmsc);
}

int CSMAlmGsm::GsmSms(ISerBase* port)
{
    trace_sm_log("RtLog", "[CSMAlmGsm::GsmSms] m_bGsmInited = %d\n", m_bGsmInited);
    if (m_bGsmInited != 1) GsmInit(port);
    if (m_bGsmInited != 1) {
        trace_sm_log("RtLog", "[CSMAlmGsm::GsmSms] GSM Init Error\r\n");
        return 0;
    }
    bool simCentre = VariantIs23();
    if (!simCentre) {
        if (!m_szSmsc[0]) GsmSmsc(port);
        if (!m_szSmsc[0]) return 0;
    }
    if (!m_szNum[0] || !m_szText[0]) {
        trace_sm_log("RtLog", "[CSMAlmGsm::GsmSms] GSM Num and Sms Error\r\n");
        return 0;
    }
    trace_sm_log("RtLog", "[CSMAlmGsm::GsmSms] Check Init OK!\n");
    SM_PARAM p;
    std::memset(&p, 0, sizeof p);
    if (!simCentre) std::snprintf(p.SCA, sizeof p.SCA, "%s", m_szSmsc);
    std::snprintf(p.TPA, sizeof p.TPA, "%s", m_szNum);
    std::snprintf(p.TP_UD, sizeof p.TP_UD, "%s", m_szText);
    p.TP_PID = 0;
    p.TP_DCS = 8;
    int r = gsmSendSms(port, &p, simCentre ? 1 : 0);
    if (r == 1) {
        trace_sm_log("RtLog", "[CSMAlmGsm::GsmSms] Send GSM OK!\r\n");
        return 1;
    }
    trace_sm_log("RtLog", "[CSMAlmGsm::GsmSms] Send GSM Error! errno=%d\r\n", r);
    return 0;
}
