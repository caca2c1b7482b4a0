// Serial cameras that take still pictures into the web image folder: a VC0706 JPEG module
// (QV-CAM) and a unit that answers one snapshot command with the whole picture (QV-CAM_3GE).
#ifndef QVSM_DRIVERS_CAMERA_SMCAMERA_H
#define QVSM_DRIVERS_CAMERA_SMCAMERA_H

#include <cstdio>

#include "base/SMBase.h"

// What both cameras share: the type row, tbCamera, the value area (picture length and file
// name) and the storage of a poll.
class CSMCameraBase : public CSMBase {
public:
    int RegDb(IDbBase* db, int force) override;
    int ChkDb(tagSMItem* item) override;
    int DataUpd(int flags, int* almBits, int* snapId, int sid, IDbBase* hist) override;

    unsigned short PictureLength() const { return m_area.len; }
    const char* FileName() const { return m_area.name; }

    static const char kImages[];  // the web image folder, before the root prefix

protected:
    CSMCameraBase(int type, const char* display);

    // A picture file is written under a temporary name and renamed when complete, so that a
    // partial picture never shows.
    class CPicture {
    public:
        ~CPicture() { Discard(); }
        bool Open(const char* name);
        bool Write(const unsigned char* p, size_t n);
        bool Commit();  // closes and renames; false (and nothing left behind) on failure
        void Discard();

    private:
        FILE* m_f = nullptr;
        bool m_bad = false;
        char m_tmp[512] = {};
        char m_final[512] = {};
    };

    // Name from the local time: prefix, year, month, day, hour, minute, second, suffix.
    void SetName(const char* prefix, const char* suffix);

    struct Area {
        unsigned short len;
        char name[50];
    };
    static_assert(sizeof(Area) == 52, "value area of 52 bytes");
    Area m_area = {};

private:
    SMTypeDef m_type;
};

class CSMCamera : public CSMCameraBase {
public:
    CSMCamera();
    ~CSMCamera() override;
    CSMCamera(const CSMCamera&) = delete;
    CSMCamera& operator=(const CSMCamera&) = delete;

    enum { IMAGE_SIZE = 102400 };

    int DataVal(int n) override;
    int DataGet(ISerBase* port, int addr, int waitMs) override;
    int DoFunc(ISerBase* port, int addr, int cmd, void* buf, int len) override;

    int Pictures() const { return m_pictures; }

private:
    // Writes n bytes of frame; true when all were accepted.
    static bool Send(ISerBase* port, const unsigned char* frame, int n);
    static bool Starts(const unsigned char* r, int n, const unsigned char* prefix, int len);

    int m_pictures = 0;
    unsigned char* m_image;
};

class SMCamera3ge : public CSMCameraBase {
public:
    SMCamera3ge();

    int DataVal(int n) override;
    int DataGet(ISerBase* port, int addr, int waitMs) override;
};

#endif
