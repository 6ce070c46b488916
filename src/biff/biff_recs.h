// BIFF record identifiers and record size limits. Every record id the engine reads or writes is
// named here once; code refers to the names, never to the numbers.
#pragma once

#include <cstdint>

namespace xls {

// Largest body of one physical record: BIFF8, and BIFF5 and older.
inline constexpr int kMaxRecordBody8 = 8224;
inline constexpr int kMaxRecordBody5 = 2080;
// Size of a record header: id (u16) and body length (u16).
inline constexpr int kRecordHeaderSize = 4;

// A BOF of any BIFF version has 0x09 in the low byte of its id.
inline constexpr uint16_t kBOFLowByte = 0x09;
// Workbook globals and worksheet records.
inline constexpr uint16_t BIFFRECID_DIMENSIONS_20 = 0x0000;
inline constexpr uint16_t BIFFRECID_INTEGER_20 = 0x0002;
inline constexpr uint16_t BIFFRECID_NUMBER_20 = 0x0003;
inline constexpr uint16_t BIFFRECID_LABEL_20 = 0x0004;
inline constexpr uint16_t BIFFRECID_FORMULA = 0x0006;
inline constexpr uint16_t BIFFRECID_STRING_20 = 0x0007;
inline constexpr uint16_t BIFFRECID_BOF_20 = 0x0009;
inline constexpr uint16_t BIFFRECID_EOF = 0x000A;
inline constexpr uint16_t BIFFRECID_CALCCOUNT = 0x000C;
inline constexpr uint16_t BIFFRECID_CALCMODE = 0x000D;
inline constexpr uint16_t BIFFRECID_PRECISION = 0x000E;
inline constexpr uint16_t BIFFRECID_REFMODE = 0x000F;
inline constexpr uint16_t BIFFRECID_DELTA = 0x0010;
inline constexpr uint16_t BIFFRECID_ITERATION = 0x0011;
inline constexpr uint16_t BIFFRECID_PROTECT = 0x0012;
inline constexpr uint16_t BIFFRECID_PASSWORD = 0x0013;
inline constexpr uint16_t BIFFRECID_HEADER = 0x0014;
inline constexpr uint16_t BIFFRECID_FOOTER = 0x0015;
inline constexpr uint16_t BIFFRECID_EXTERNCOUNT = 0x0016;
inline constexpr uint16_t BIFFRECID_EXTERNSHEET = 0x0017;
inline constexpr uint16_t BIFFRECID_NAME = 0x0018;
inline constexpr uint16_t BIFFRECID_WINDOWPROTECT = 0x0019;
inline constexpr uint16_t BIFFRECID_VERTICALPAGEBREAKS = 0x001A;
inline constexpr uint16_t BIFFRECID_HORIZONTALPAGEBREAKS = 0x001B;
inline constexpr uint16_t BIFFRECID_NOTE = 0x001C;
inline constexpr uint16_t BIFFRECID_SELECTION = 0x001D;
inline constexpr uint16_t BIFFRECID_DATE1904 = 0x0022;
inline constexpr uint16_t BIFFRECID_EXTERNNAME = 0x0023;
inline constexpr uint16_t BIFFRECID_LEFTMARGIN = 0x0026;
inline constexpr uint16_t BIFFRECID_RIGHTMARGIN = 0x0027;
inline constexpr uint16_t BIFFRECID_TOPMARGIN = 0x0028;
inline constexpr uint16_t BIFFRECID_BOTTOMMARGIN = 0x0029;
inline constexpr uint16_t BIFFRECID_PRINTHEADERS = 0x002A;
inline constexpr uint16_t BIFFRECID_PRINTGRIDLINES = 0x002B;
inline constexpr uint16_t BIFFRECID_FILEPASS = 0x002F;
inline constexpr uint16_t BIFFRECID_FONT = 0x0031;
inline constexpr uint16_t BIFFRECID_CONTINUE = 0x003C;
inline constexpr uint16_t BIFFRECID_WINDOW1 = 0x003D;
inline constexpr uint16_t BIFFRECID_BACKUP = 0x0040;
inline constexpr uint16_t BIFFRECID_PANE = 0x0041;
inline constexpr uint16_t BIFFRECID_CODEPAGE = 0x0042;
inline constexpr uint16_t BIFFRECID_PLS = 0x004D;
inline constexpr uint16_t BIFFRECID_DEFCOLWIDTH = 0x0055;
inline constexpr uint16_t BIFFRECID_XCT = 0x0059;
inline constexpr uint16_t BIFFRECID_CRN = 0x005A;
inline constexpr uint16_t BIFFRECID_WRITEACCESS = 0x005C;
inline constexpr uint16_t BIFFRECID_OBJ = 0x005D;
inline constexpr uint16_t BIFFRECID_SAVERECALC = 0x005F;
inline constexpr uint16_t BIFFRECID_COLINFO = 0x007D;
inline constexpr uint16_t BIFFRECID_RK = 0x007E;
inline constexpr uint16_t BIFFRECID_GUTS = 0x0080;
inline constexpr uint16_t BIFFRECID_WSBOOL = 0x0081;
inline constexpr uint16_t BIFFRECID_GRIDSET = 0x0082;
inline constexpr uint16_t BIFFRECID_HCENTER = 0x0083;
inline constexpr uint16_t BIFFRECID_VCENTER = 0x0084;
inline constexpr uint16_t BIFFRECID_BOUNDSHEET = 0x0085;
inline constexpr uint16_t BIFFRECID_COUNTRY = 0x008C;
inline constexpr uint16_t BIFFRECID_HIDEOBJ = 0x008D;
inline constexpr uint16_t BIFFRECID_PALETTE = 0x0092;
inline constexpr uint16_t BIFFRECID_FNGROUPCOUNT = 0x009C;
inline constexpr uint16_t BIFFRECID_SETUP = 0x00A1;
inline constexpr uint16_t BIFFRECID_SHRFMLA = 0x00BC;
inline constexpr uint16_t BIFFRECID_MULRK = 0x00BD;
inline constexpr uint16_t BIFFRECID_MULBLANK = 0x00BE;
inline constexpr uint16_t BIFFRECID_OBJPROJ = 0x00D3;
inline constexpr uint16_t BIFFRECID_RSTRING = 0x00D6;
inline constexpr uint16_t BIFFRECID_DBCELL = 0x00D7;
inline constexpr uint16_t BIFFRECID_BOOKBOOL = 0x00DA;
inline constexpr uint16_t BIFFRECID_XF = 0x00E0;
inline constexpr uint16_t BIFFRECID_INTERFACEHDR = 0x00E1;
inline constexpr uint16_t BIFFRECID_INTERFACEEND = 0x00E2;
inline constexpr uint16_t BIFFRECID_MERGEDCELLS = 0x00E5;
inline constexpr uint16_t BIFFRECID_MSODRAWINGGROUP = 0x00EB;
inline constexpr uint16_t BIFFRECID_MSODRAWING = 0x00EC;
inline constexpr uint16_t BIFFRECID_MSODRAWINGSELECTION = 0x00ED;
inline constexpr uint16_t BIFFRECID_SST = 0x00FC;
inline constexpr uint16_t BIFFRECID_LABELSST = 0x00FD;
inline constexpr uint16_t BIFFRECID_EXTSST = 0x00FF;
inline constexpr uint16_t BIFFRECID_TABID = 0x013D;
inline constexpr uint16_t BIFFRECID_USESELFS = 0x0160;
inline constexpr uint16_t BIFFRECID_DSF = 0x0161;
inline constexpr uint16_t BIFFRECID_USERBVIEW = 0x01A9;
inline constexpr uint16_t BIFFRECID_USERSVIEWBEGIN = 0x01AA;
inline constexpr uint16_t BIFFRECID_USERSVIEWEND = 0x01AB;
inline constexpr uint16_t BIFFRECID_SUPBOOK = 0x01AE;
inline constexpr uint16_t BIFFRECID_PROT4REV = 0x01AF;
inline constexpr uint16_t BIFFRECID_CONDFMT = 0x01B0;
inline constexpr uint16_t BIFFRECID_CF = 0x01B1;
inline constexpr uint16_t BIFFRECID_DVAL = 0x01B2;
inline constexpr uint16_t BIFFRECID_TXO = 0x01B6;
inline constexpr uint16_t BIFFRECID_REFRESHALL = 0x01B7;
inline constexpr uint16_t BIFFRECID_HLINK = 0x01B8;
inline constexpr uint16_t BIFFRECID_PROT4REVPASS = 0x01BC;
inline constexpr uint16_t BIFFRECID_DV = 0x01BE;
inline constexpr uint16_t BIFFRECID_EXCEL9FILE = 0x01C0;
inline constexpr uint16_t BIFFRECID_RECALCID = 0x01C1;
inline constexpr uint16_t BIFFRECID_DIMENSIONS = 0x0200;
inline constexpr uint16_t BIFFRECID_BLANK = 0x0201;
inline constexpr uint16_t BIFFRECID_NUMBER = 0x0203;
inline constexpr uint16_t BIFFRECID_LABEL = 0x0204;
inline constexpr uint16_t BIFFRECID_BOOLERR = 0x0205;
inline constexpr uint16_t BIFFRECID_FORMULA_30 = 0x0206;
inline constexpr uint16_t BIFFRECID_STRING = 0x0207;
inline constexpr uint16_t BIFFRECID_ROW = 0x0208;
inline constexpr uint16_t BIFFRECID_BOF_30 = 0x0209;
inline constexpr uint16_t BIFFRECID_INDEX = 0x020B;
inline constexpr uint16_t BIFFRECID_NAME_30 = 0x0218;
inline constexpr uint16_t BIFFRECID_ARRAY = 0x0221;
inline constexpr uint16_t BIFFRECID_EXTERNNAME_30 = 0x0223;
inline constexpr uint16_t BIFFRECID_DEFAULTROWHEIGHT = 0x0225;
inline constexpr uint16_t BIFFRECID_FONT_30 = 0x0231;
inline constexpr uint16_t BIFFRECID_WINDOW2 = 0x023E;
inline constexpr uint16_t BIFFRECID_XF_30 = 0x0243;
inline constexpr uint16_t BIFFRECID_RK_30 = 0x027E;
inline constexpr uint16_t BIFFRECID_STYLE = 0x0293;
inline constexpr uint16_t BIFFRECID_FORMULA_40 = 0x0406;
inline constexpr uint16_t BIFFRECID_BOF_40 = 0x0409;
inline constexpr uint16_t BIFFRECID_FORMAT = 0x041E;
inline constexpr uint16_t BIFFRECID_XF_40 = 0x0443;
inline constexpr uint16_t BIFFRECID_SHRFMLA_40 = 0x04BC;
inline constexpr uint16_t BIFFRECID_HLINKTOOLTIP = 0x0800;
inline constexpr uint16_t BIFFRECID_BOF = 0x0809;  // BIFF5 and BIFF8

// The BOF records of BIFF2, BIFF3, BIFF4 and BIFF5/8. Chart records such as 0x1009 share the low
// byte 0x09 but open no substream (and are encrypted like any record).
inline constexpr bool IsBOFRecordId(uint16_t id) {
  return id == BIFFRECID_BOF_20 || id == BIFFRECID_BOF_30 || id == BIFFRECID_BOF_40 ||
         id == BIFFRECID_BOF;
}
// The record storages file every id with the low byte 0x09 under the BOF slot.
inline constexpr bool HasBOFLowByte(uint16_t id) {
  return (id & 0x00FF) == kBOFLowByte;
}

// Chart substream records.
inline constexpr uint16_t BIFFRECID_CHART_UNITS = 0x1001;
inline constexpr uint16_t BIFFRECID_CHART_CHART = 0x1002;
inline constexpr uint16_t BIFFRECID_CHART_SERIES = 0x1003;
inline constexpr uint16_t BIFFRECID_CHART_DATAFORMAT = 0x1006;
inline constexpr uint16_t BIFFRECID_CHART_LINEFORMAT = 0x1007;
inline constexpr uint16_t BIFFRECID_CHART_MARKERFORMAT = 0x1009;
inline constexpr uint16_t BIFFRECID_CHART_AREAFORMAT = 0x100A;
inline constexpr uint16_t BIFFRECID_CHART_PIEFORMAT = 0x100B;
inline constexpr uint16_t BIFFRECID_CHART_ATTACHEDLABEL = 0x100C;
inline constexpr uint16_t BIFFRECID_CHART_SERIESTEXT = 0x100D;
inline constexpr uint16_t BIFFRECID_CHART_CHARTFORMAT = 0x1014;
inline constexpr uint16_t BIFFRECID_CHART_LEGEND = 0x1015;
inline constexpr uint16_t BIFFRECID_CHART_BAR = 0x1017;
inline constexpr uint16_t BIFFRECID_CHART_LINE = 0x1018;
inline constexpr uint16_t BIFFRECID_CHART_PIE = 0x1019;
inline constexpr uint16_t BIFFRECID_CHART_AREA = 0x101A;
inline constexpr uint16_t BIFFRECID_CHART_SCATTER = 0x101B;
inline constexpr uint16_t BIFFRECID_CHART_AXIS = 0x101D;
inline constexpr uint16_t BIFFRECID_CHART_TICK = 0x101E;
inline constexpr uint16_t BIFFRECID_CHART_VALUERANGE = 0x101F;
inline constexpr uint16_t BIFFRECID_CHART_CATSERRANGE = 0x1020;
inline constexpr uint16_t BIFFRECID_CHART_CHARTFORMATLINK = 0x1022;
inline constexpr uint16_t BIFFRECID_CHART_DEFAULTTEXT = 0x1024;
inline constexpr uint16_t BIFFRECID_CHART_TEXT = 0x1025;
inline constexpr uint16_t BIFFRECID_CHART_FONTX = 0x1026;
inline constexpr uint16_t BIFFRECID_CHART_OBJECTLINK = 0x1027;
inline constexpr uint16_t BIFFRECID_CHART_FRAME = 0x1032;
inline constexpr uint16_t BIFFRECID_CHART_BEGIN = 0x1033;
inline constexpr uint16_t BIFFRECID_CHART_END = 0x1034;
inline constexpr uint16_t BIFFRECID_CHART_CHART3D = 0x103A;
inline constexpr uint16_t BIFFRECID_CHART_RADAR = 0x103E;
inline constexpr uint16_t BIFFRECID_CHART_SURFACE = 0x103F;
inline constexpr uint16_t BIFFRECID_CHART_RADARAREA = 0x1040;
inline constexpr uint16_t BIFFRECID_CHART_AXISPARENT = 0x1041;
inline constexpr uint16_t BIFFRECID_CHART_SHTPROPS = 0x1044;
inline constexpr uint16_t BIFFRECID_CHART_POS = 0x104F;
inline constexpr uint16_t BIFFRECID_CHART_AI = 0x1051;
inline constexpr uint16_t BIFFRECID_CHART_3DBARSHAPE = 0x105F;
inline constexpr uint16_t BIFFRECID_CHART_FBI = 0x1060;
inline constexpr uint16_t BIFFRECID_CHART_BOPPOP = 0x1061;
inline constexpr uint16_t BIFFRECID_CHART_GELFRAME = 0x1066;
inline constexpr uint16_t BIFFRECID_GELFRAME = BIFFRECID_CHART_GELFRAME;

// Record ids at and above this value never occur in a file; the engine uses them internally.
inline constexpr uint16_t kFirstInternalRecordId = 0x8000;

// Placeholders of the globals substream: the records the model produces.
inline constexpr uint16_t INTERNID_FORMATS = 0x8001;          // FONT, FORMAT, XF, STYLE
inline constexpr uint16_t INTERNID_BOUNDSHEETS = 0x8002;      // BOUNDSHEET list
inline constexpr uint16_t INTERNID_NAMES = 0x8003;            // names and external references
inline constexpr uint16_t INTERNID_MSODRAWINGGROUP = 0x8004;  // drawing group
inline constexpr uint16_t INTERNID_SST = 0x8005;              // SST and EXTSST

// Placeholders of a worksheet substream.
inline constexpr uint16_t INTERNID_PAGEBREAKS = 0x8101;    // HORIZONTAL/VERTICALPAGEBREAKS
inline constexpr uint16_t INTERNID_HEADERFOOTER = 0x8102;  // HEADER and FOOTER
inline constexpr uint16_t INTERNID_MARGINS = 0x8103;       // LEFT/RIGHT/TOP/BOTTOMMARGIN
inline constexpr uint16_t INTERNID_COLINFO = 0x8104;       // COLINFO
inline constexpr uint16_t INTERNID_CELLS = 0x8105;         // ROW records and cells
inline constexpr uint16_t INTERNID_SHEETEXTRAS = 0x8106;   // drawing, PANE, SELECTION, merged
                                                           // cells, CF, hyperlinks, validation

// BOF substream types (u16 at body offset 2).
inline constexpr uint16_t BOFTYPE_GLOBALS = 0x0005;
inline constexpr uint16_t BOFTYPE_VBMODULE = 0x0006;
inline constexpr uint16_t BOFTYPE_WORKSHEET = 0x0010;
inline constexpr uint16_t BOFTYPE_CHART = 0x0020;
inline constexpr uint16_t BOFTYPE_MACROSHEET = 0x0040;
inline constexpr uint16_t BOFTYPE_WORKSPACE = 0x0100;

}  // namespace xls
