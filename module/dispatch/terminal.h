// Terminal services: the operations the panel driver imports by their C names.
//
// The module and every services library (ours, libvekterm, or a device maker's own) include this one
// header. The module links against none of them: each name is resolved when the module is loaded, so
// any library or executable that exports these symbols can stand under it.
//
// Screen: 40 columns by 20 rows; a cell is two bytes, character then attribute. Writes are clipped at
// column 39 and rows outside 0..19 are ignored. The scratch pointers and flags are accepted for
// compatibility with existing callers and carry no meaning of their own.
#ifndef VEKPANEL_DISPATCH_TERMINAL_H
#define VEKPANEL_DISPATCH_TERMINAL_H

#ifdef __cplusplus
extern "C" {
#endif

/* Screen. */
int _VioWrtCharStr(const char *text, int length, int row, int col, int *scratch, int flag);
int _VioWrtCharStrAtt(const char *text, int length, int row, int col, int attribute, int *scratch, int flag);
int _VioWrtNChar(int row, int col, char ch, int count, int *scratch, int flag);
int _VioReadCellStr(char *cells, int count, int row, int col, int *scratch, int flag);
int _VioWrtCellStr(const char *cells, int count, int row, int col, int *scratch, int flag);
int _VioClear(void);
int _VioSetCurPos(int row, int col);
int _VioGetCurPos(unsigned char *row, unsigned char *col);
int _VioSetCurType(int type); /* 4 input cursor shown, 0 hidden */

/* Keyboard, events, idle processing. A key read is a printable character's own code or one of these. */
enum vek_key {
  VEK_KEY_ENTER = 13,
  VEK_KEY_LEFT = 174,
  VEK_KEY_RIGHT = 175,
  VEK_KEY_CANCEL = 256,
  VEK_KEY_PREVIOUS = 512, /* previous field */
  VEK_KEY_OK = 768,       /* confirm the panel */
  VEK_KEY_CLEAR = 1024,
  VEK_KEY_BACKSPACE = 1280,
  VEK_KEY_NEXT = 1536, /* next field */
  VEK_KEY_HELP = 15104
};
int _KbdReadAscii(unsigned short *key); /* 0 key stored, 5 none waiting */
int _WaitEvent(int milliseconds);       /* 0 = no limit */
int _IdleManager(int mode);             /* 0: nonzero = stop waiting; 200 = pause */

/* Sensors (scanner). Record: byte 0 type, byte 1 zero, byte 2 data length, data from byte 3. */
int _SenQueryData(unsigned short *count); /* count > 0: a record waits */
int _SenRead(char *record, int size);     /* 0 = one record read; never blocks */

/* LED and speaker. */
int _SenActLed(int led, int duration);
int _SpkBeep(int device, int tone, int duration);

/* Clock: time formats 2 "HHMMSS", 1 "hhMMSS" + half-day marker; date formats 3 "YYMMDD", 1 "MMDDYY". */
int _RtcGetAsciiTime(int format, char *text, void *scratch);
int _RtcGetAsciiDate(int format, char *text, void *scratch);

/* User variables 1..99; a read stores at most 160 bytes (159 characters and the NUL). */
int _ReadUserVariable(int number, char *buffer);      /* 3 = no such variable */
int _WriteUserVariable(int number, const char *text); /* 5 = did not fit, 3 = no such variable */
int _ClearUserVariable(int number);

/* Transaction messages, validation files, data files. */
int _TransactionMsg(int flag, int length, const char *record);
int _Validation(const char *file, char mode, const char *value); /* 0 pass, 1 fail, 4 unusable, 16 other */
int _DataFile(const char *name, const char **address, unsigned long *length); /* 0 = image handed over */

#ifdef __cplusplus
}

// The key codes as typed constants, for C++ callers of _KbdReadAscii and those who script keys.
namespace vek::key {
inline constexpr unsigned short Enter = VEK_KEY_ENTER;
inline constexpr unsigned short Left = VEK_KEY_LEFT;
inline constexpr unsigned short Right = VEK_KEY_RIGHT;
inline constexpr unsigned short Cancel = VEK_KEY_CANCEL;
inline constexpr unsigned short Previous = VEK_KEY_PREVIOUS;
inline constexpr unsigned short Ok = VEK_KEY_OK;
inline constexpr unsigned short Clear = VEK_KEY_CLEAR;
inline constexpr unsigned short Backspace = VEK_KEY_BACKSPACE;
inline constexpr unsigned short Next = VEK_KEY_NEXT;
inline constexpr unsigned short Help = VEK_KEY_HELP;
}  // namespace vek::key
#endif

#endif
