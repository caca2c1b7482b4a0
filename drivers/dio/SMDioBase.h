// Intermediate base of the I/O module family: the channel record, the per-channel notes, the
// per-channel state rows in tbSubSysDetail, the summary and the table tbDio.
#ifndef QVSM_DRIVERS_DIO_SMDIOBASE_H
#define QVSM_DRIVERS_DIO_SMDIOBASE_H

#include <map>
#include <string>

#include "base/SMBase.h"

class CSMDioBase : public CSMBase {
public:
    enum { CHANNELS = 32, NOTE_CAP = 256 };

    explicit CSMDioBase(int type);
    ~CSMDioBase() override;

    int RegDb(IDbBase* db, int force) override;
    int ChkDb(tagSMItem* item) override;
    int DataVal(int i) override;
    int DataUpd(int flags, int* almBits, int* snapId, int sid, IDbBase* hist) override;
    int VarEval(char* var) override;

    virtual int ChkDef(IDbBase* db, int force);          // slot 21: point rows of the model
    virtual const char* GetNoteX(int ch, int sid);       // slot 22
    virtual int UpdSt(int flags, int* almBits, int sid); // slot 23

    int ChannelCount() const { return m_nChannels; }
    int InputCount() const { return m_nInputs; }

protected:
    // State of a stored poll: 2 without alarm bits, else 0; bit 0 of flags forces 1.
    static int DevState(int flags, const int* almBits);
    // DataUpd after the record is settled (CSMDio keeps its record after a failed poll).
    int StoreRecord(int flags, int* almBits, int* snapId, int sid, IDbBase* hist);
    void LoadNotes(IDbBase* db);
    // The board's "/dev/gpio": lines 1..16 by request 0x12, then `high` more lines by request
    // 0x11 (their states shifted 16 up in the raw word); active low. false when the device
    // does not open.
    bool ReadGpio(int high);
    // Inserts point rows channel 1..n named "<name><n>"/"<note><n>"; on/off or analogue.
    int InsertChannelRows(IDbBase* db, int n, const char* note, int scale, int mode, int vref,
                          const char* vrefHelp, int vref2, const char* vref2Help);

    // value 0: raw word (column Dio); 1..32: channels D01..D32, 1 active (alarm).
    int m_rec[CHANNELS + 1] = {};
    int m_nChannels = 8;
    int m_nInputs = 8;

private:
    std::map<int, std::string> m_notes;  // SID * 1000 + channel -> note; SID 0: the type's
    char m_noteX[NOTE_CAP] = {};
};

#endif
