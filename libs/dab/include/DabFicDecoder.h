/* FIC decoder: takes the Fast Information Channel of one DAB ensemble as FIBs
 * (or as bare FIG strings), checks and parses its FIGs and keeps the latest
 * contents of every FIG in a database inside a caller-allocated instance.
 *
 * Calling order: DAB_Bb_Ruz_FicDecoderGetDefaultConfig, allocate
 * config.instanceSize bytes (aligned for any scalar, as malloc returns),
 * DAB_Bb_Ruz_FicDecoderInit, then pushes, each followed by any reads.
 * The library allocates nothing and locks nothing: one instance belongs to one
 * caller at a time. Entries returned by GetFigList/GetNext stay valid until the
 * next push or Init on that instance.
 *
 * Result codes of every int function: 0 success, 2 bad argument. */
#ifndef ZOZ_DAB_FIC_DECODER_H
#define ZOZ_DAB_FIC_DECODER_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum {
    FIC_DECODER_OK = 0,
    FIC_DECODER_BAD_ARGUMENT = 2
};

/* Status bits of a parsed record; only records with status 0 are stored. */
enum {
    FIC_STATUS_MALFORMED_HEADER = 1,
    FIC_STATUS_UNKNOWN_TYPE = 2,
    FIC_STATUS_UNKNOWN_EXTENSION = 4,
    FIC_STATUS_BAD_LENGTH = 8,
    FIC_STATUS_TOO_MANY_ITEMS = 16,
    FIC_STATUS_TOO_MANY_SUBITEMS = 32,
    FIC_STATUS_NO_VALID_DATA = 64
};

/* Update modes of the type-0 extensions 6, 9, 11, 18, 21, 22, 24, 25, 27. */
enum {
    FIC_UPDATE_CURRENT = 1,
    FIC_UPDATE_NEXT = 2,
    FIC_UPDATE_DELETE_CURRENT = 3,
    FIC_UPDATE_DELETE_NEXT = 4
};

/* Reconfiguration flags (FIG 0/0 change flags and PushFigs argument). */
enum {
    FIC_RECONFIGURE_SUBCHANNELS = 1,
    FIC_RECONFIGURE_SERVICES = 2
};

typedef struct FicDecoderConfig {
    uint32_t reserved0;
    uint32_t instanceSize; /* bytes the caller allocates for one instance */
    uint32_t reserved[8];
} FicDecoderConfig;

/* Opaque instance and list entry. */
typedef struct FicDecoder FicDecoder;
typedef struct FicFigEntry FicFigEntry;

/* ---- FIG-specific record bodies (field widths as broadcast) ---- */

typedef struct FicFig0_0 { uint16_t eid; uint8_t changeFlags, alFlag, cifCountHigh, cifCountLow, occurrenceChange; } FicFig0_0;

typedef struct FicFig0_1 {
    uint8_t subChId; uint16_t startAddress; uint8_t longForm;
    uint8_t tableSwitch, tableIndex;                   /* short form */
    uint8_t option, protectionLevel; uint16_t size;    /* long form */
} FicFig0_1;

typedef struct FicFig0_2Component {
    uint8_t tmId, ascTy, dscTy, subChId, fidcId; uint16_t scId; uint8_t primary, caFlag;
} FicFig0_2Component;
#define FIC_MAX_COMPONENTS 12
typedef struct FicFig0_2 {
    uint32_t serviceId; uint8_t localFlag, caId, numComponents;
    FicFig0_2Component components[FIC_MAX_COMPONENTS];
} FicFig0_2;

typedef struct FicFig0_3 {
    uint16_t scId; uint8_t caOrgFlag, dataGroupFlag, dscTy, subChId; uint16_t packetAddress, caOrg;
} FicFig0_3;

typedef struct FicFig0_4 { uint8_t mf, id; uint16_t caOrg; } FicFig0_4; /* id: SubChId (M/F 0) or FIDCId */

/* form: 0 short MSC, 1 short FIC, 2 long */
typedef struct FicFig0_5 { uint8_t longForm, form, subChId, fidcId; uint16_t scId; uint8_t language; } FicFig0_5;

#define FIC_MAX_LINKAGE_IDS 12
typedef struct FicFig0_6 {
    uint8_t idListFlag, la, sh, ils; uint16_t lsn;
    uint8_t idLq, shd, numIds;
    uint8_t ecc[FIC_MAX_LINKAGE_IDS];
    uint32_t ids[FIC_MAX_LINKAGE_IDS];
} FicFig0_6;

typedef struct FicFig0_7 { uint8_t services; uint16_t count; } FicFig0_7;

typedef struct FicFig0_8 {
    uint32_t serviceId; uint8_t extensionFlag, scIdS, longForm, form, subChId, fidcId; uint16_t scId; uint8_t reserved8;
} FicFig0_8;

#define FIC_MAX_COUNTRY_SUBFIELDS 6
typedef struct FicFig0_9SubField {
    uint8_t numServices, lto, ecc; /* lto: the 6-bit field in the second layout */
    uint32_t serviceIds[3];
} FicFig0_9SubField;
typedef struct FicFig0_9 {
    uint8_t secondLayout, extensionFlag, ltoUnique, ensembleLto, ensembleEcc, interTableId, numSubFields;
    FicFig0_9SubField subFields[FIC_MAX_COUNTRY_SUBFIELDS];
} FicFig0_9;

typedef struct FicFig0_10 {
    uint32_t mjd; uint8_t lsi, confInd, utcFlag, hours, minutes, seconds; uint16_t milliseconds;
} FicFig0_10;

#define FIC_MAX_TII_BYTES 25
typedef struct FicFig0_11 {
    uint8_t gaty, ge, upperPart, lowerPart, listLength;
    uint8_t list[FIC_MAX_TII_BYTES];                   /* GATy 0 */
    uint16_t latitudeCoarse, longitudeCoarse, latitudeExtent, longitudeExtent; /* GATy 1 */
} FicFig0_11;

typedef struct FicFig0_12 {
    uint16_t id; uint8_t flag, field3, field2a, field2b, optional8, numValues; uint32_t values[6];
} FicFig0_12;

#define FIC_MAX_USER_APPLICATIONS 6
#define FIC_MAX_USER_APPLICATION_DATA 23
typedef struct FicFig0_13Application {
    uint16_t type; uint8_t dataLength; uint8_t data[FIC_MAX_USER_APPLICATION_DATA];
} FicFig0_13Application;
typedef struct FicFig0_13 {
    uint32_t serviceId; uint8_t scIdS, numApplications;
    FicFig0_13Application applications[FIC_MAX_USER_APPLICATIONS];
} FicFig0_13;

typedef struct FicFig0_14 { uint8_t subChId, fecScheme; } FicFig0_14;

typedef struct FicFig0_16 {
    uint16_t serviceId, pnum; uint8_t continuationFlag, updateFlag; uint16_t newServiceId, newPnum;
} FicFig0_16;

typedef struct FicFig0_17 {
    uint16_t serviceId; uint8_t sd, ps, lFlag, ccFlag, language, internationalCode, complementaryCode;
} FicFig0_17;

#define FIC_MAX_CLUSTERS 23
typedef struct FicFig0_18 {
    uint16_t serviceId, asuFlags; uint8_t numClusters; uint8_t clusterIds[FIC_MAX_CLUSTERS];
} FicFig0_18;

typedef struct FicFig0_19 {
    uint8_t clusterId; uint16_t aswFlags; uint8_t newFlag, regionFlag, subChId, regionId;
} FicFig0_19;

typedef struct FicFig0_20 {
    uint32_t serviceId; uint8_t scIdS, changeFlags, ptFlag, scFlag, scField1a, scField1b, scField6;
    uint8_t date, hour, minutes, seconds, sidFlag, eidFlag; uint32_t transferServiceId; uint16_t transferEid;
} FicFig0_20;

typedef struct FicFig0_21 {
    uint16_t id; uint8_t rm, continuityFlag, length; uint8_t frequencies[7];
} FicFig0_21;

typedef struct FicFig0_22SubField { uint8_t field5; uint16_t field11, field16a, field16b; } FicFig0_22SubField;
typedef struct FicFig0_22 {
    uint8_t ms, mainId, numSubFields; FicFig0_22SubField subFields[4];  /* M/S 1 */
    uint16_t latitudeCoarse, longitudeCoarse; uint8_t latitudeFine, longitudeFine; /* M/S 0 */
} FicFig0_22;

typedef struct FicFig0_24 { uint32_t serviceId; uint8_t caId, numEids; uint16_t eids[12]; } FicFig0_24;

typedef struct FicFig0_25Item { uint8_t field8; uint16_t field16; } FicFig0_25Item;
typedef struct FicFig0_25 {
    uint16_t serviceId, asuFlags; uint8_t secondLayout;
    uint8_t numEids; uint16_t eids[11];                       /* first layout */
    uint8_t field6, count; FicFig0_25Item items[4];           /* second layout */
} FicFig0_25;

typedef struct FicFig0_26 {
    uint8_t clusterId; uint16_t aswFlags; uint8_t newFlag, secondLayout;
    uint8_t regionFlag, subChId, otherClusterId, regionId;    /* first layout */
    uint8_t field3, field4;                                   /* second layout */
    uint16_t eid;
} FicFig0_26;

typedef struct FicFig0_27 { uint16_t serviceId; uint8_t numPiCodes; uint16_t piCodes[12]; } FicFig0_27;

typedef struct FicFig0_28 { uint8_t clusterId, newFlag, regionFlag, regionId; uint16_t piCode; } FicFig0_28;

typedef struct FicFig0_31 { uint32_t type0Flags; uint8_t type1Flags, type2Flags; } FicFig0_31;

/* Type 1 (labels). id: EId (1/0), SId (1/1, 1/4, 1/5, 1/6). The label bytes
 * are kept as received, in the record's character set; no terminator. */
typedef struct FicFig1 {
    uint32_t id;
    uint8_t pd, scIdS;                       /* 1/4, 1/6 */
    uint8_t flagA, flagB, field6, optional8, field8, extra8, extra4a, extra4b; /* 1/2 */
    uint8_t field2, regionId;                /* 1/3 */
    uint8_t xpadAppType;                     /* 1/6 */
    uint8_t label[16];
    uint16_t charFlags;
} FicFig1;

/* Type 2 (segmented labels); segment bytes kept as received. */
typedef struct FicFig2 {
    uint32_t id;
    uint8_t pd, scIdS, field2, regionId, xpadAppType;
    uint8_t segmentLength;
    uint8_t segment[29];
} FicFig2;

/* Extensions that are not read: their data bytes, unparsed. */
typedef struct FicFigRaw { uint8_t length; uint8_t data[29]; } FicFigRaw;

/* One stored FIG entry: 45 32-bit words. */
typedef struct FicFigRecord {
    uint32_t timeStamp;  /* push number at which the entry was last received */
    uint8_t status;      /* 0 for every stored record */
    uint8_t figType;
    uint8_t extension;
    union {
        struct { uint8_t cn, oe, pd, extension; } type0;
        struct { uint8_t charset, oe, extension, unused; } type1;
        struct { uint8_t toggle, segmentIndex, reserved, extension; } type2;
    } header;
    uint8_t updateMode;  /* FIC_UPDATE_* for keyed type-0 extensions, else 0 */
    union {
        FicFig0_0 fig0_0; FicFig0_1 fig0_1; FicFig0_2 fig0_2; FicFig0_3 fig0_3; FicFig0_4 fig0_4;
        FicFig0_5 fig0_5; FicFig0_6 fig0_6; FicFig0_7 fig0_7; FicFig0_8 fig0_8; FicFig0_9 fig0_9;
        FicFig0_10 fig0_10; FicFig0_11 fig0_11; FicFig0_12 fig0_12; FicFig0_13 fig0_13;
        FicFig0_14 fig0_14; FicFig0_16 fig0_16; FicFig0_17 fig0_17; FicFig0_18 fig0_18;
        FicFig0_19 fig0_19; FicFig0_20 fig0_20; FicFig0_21 fig0_21; FicFig0_22 fig0_22;
        FicFig0_24 fig0_24; FicFig0_25 fig0_25; FicFig0_26 fig0_26; FicFig0_27 fig0_27;
        FicFig0_28 fig0_28; FicFig0_31 fig0_31; FicFig1 fig1; FicFig2 fig2; FicFigRaw raw;
        uint32_t words[42];
    } u;
} FicFigRecord;

typedef struct FicServiceInfo {
    uint8_t valid;
    uint8_t isDataService;
    uint32_t serviceId;   /* 16-bit SId of a programme service, 32-bit of a data service */
    uint8_t localFlag;
    uint8_t caId;
    uint8_t numComponents;
    uint8_t countryValid;
    uint8_t lto;          /* local time offset code */
    uint8_t ecc;          /* extended country code */
    uint8_t labelValid;
    uint8_t charset;
    uint8_t label[16];    /* not terminated */
    uint16_t charFlags;
} FicServiceInfo;

typedef struct FicServiceComponentInfo {
    uint8_t valid;
    uint32_t serviceId;
    uint8_t tmId;         /* 0 MSC stream audio, 1 MSC stream data, 2 FIDC, 3 MSC packet data */
    uint8_t ascTy;
    uint8_t dscTy;
    uint8_t subChId;
    uint8_t fidcId;
    uint16_t scId;
    uint8_t primary;
    uint8_t caFlag;
    uint8_t packetInfoValid;
    uint16_t packetAddress;
    uint8_t dataGroupFlag;
    uint8_t caOrgFlag;
    uint16_t caOrg;
    uint8_t caInfoValid;
    uint16_t caInfoOrg;
    uint8_t languageValid;
    uint8_t language;
    uint8_t scIdSValid;
    uint8_t scIdS;
    uint8_t labelValid;
    uint8_t charset;
    uint8_t label[16];
    uint16_t charFlags;
} FicServiceComponentInfo;

/* Zeroes the block and sets instanceSize. 2 for a null pointer. */
int DAB_Bb_Ruz_FicDecoderGetDefaultConfig(FicDecoderConfig *config);

/* Empties the whole instance. 2 for a null instance, else 0. */
int DAB_Bb_Ruz_FicDecoderInit(FicDecoder *decoder);

/* Checks and parses `numFibs` 32-byte FIBs (each with its CRC); FIBs with a bad
 * CRC are skipped. Each call is one CIF for the reconfiguration timing.
 * 2 when numFibs x 32 exceeds 128 or a pointer is null, else 0. */
int DAB_Bb_Ruz_FicDecoderPushFibs(FicDecoder *decoder, const uint8_t *fibs, uint8_t numFibs);

/* Runs the reconfiguration `flags` (FIC_RECONFIGURE_*; 0 cancels a pending one)
 * at once, then parses a string of FIGs ending at `length` bytes or at an 0xFF
 * byte. 2 for a null pointer, a length below 2, or a FIG whose declared length
 * runs past the given bytes (then nothing at all is applied), else 0. */
int DAB_Bb_Ruz_FicDecoderPushFigs(FicDecoder *decoder, const uint8_t *figs, uint8_t length, uint8_t flags);

/* First entry of the list of FIG type/extension; null for type above 2,
 * extension above 31, a null instance or an empty list. */
const FicFigEntry *DAB_Bb_Ruz_FicDecoderGetFigList(const FicDecoder *decoder, uint8_t type, uint8_t extension);

/* Next entry of the same list; null at the end or for a null entry. */
const FicFigEntry *DAB_Bb_Ruz_FicDecoderGetNext(const FicFigEntry *entry);

/* Copies the entry's record. 2 for a null entry or record pointer, else 0. */
int DAB_Bb_Ruz_FicDecoderGetFigData(const FicFigEntry *entry, FicFigRecord *record);

/* The list's modification counter; 0 for type 3 or more, extension 32 or more
 * or a null instance. */
uint32_t DAB_Bb_Ruz_FicDecoderGetFigCount(const FicDecoder *decoder, uint8_t type, uint8_t extension);

/* kind: 0 current configuration, 1 next configuration. */
int DAB_Bb_Ruz_FicDecoderGetNumServices(const FicDecoder *decoder, uint8_t kind);

/* The index-th FIG 0/2 entry of that kind. 2 for a null pointer or an index
 * that is negative or not below the count, else 0. */
int DAB_Bb_Ruz_FicDecoderGetService(const FicDecoder *decoder, uint8_t kind, int index, FicServiceInfo *info);

/* Number of components announced by the service's FIG 0/2 entry of that kind
 * (0 without one). */
uint8_t DAB_Bb_Ruz_FicDecoderGetNumServiceComponents(const FicDecoder *decoder, uint32_t serviceId, uint8_t kind);

/* The index-th component of the service. 2 for a null pointer, an index that
 * is negative, not below the announced count or not below 12, or when the
 * service has no FIG 0/2 entry of that kind; else 0. */
int DAB_Bb_Ruz_FicDecoderGetServiceComponent(const FicDecoder *decoder, uint32_t serviceId, uint8_t kind, int index,
                                             FicServiceComponentInfo *info);

/* Grows by one at each call that finds the FIG 0/2, 0/9, 1/1 or 1/5 list
 * modified since the previous call. 0 for a null instance. */
uint32_t DAB_Bb_Ruz_FicDecoderGetChangeCounter(FicDecoder *decoder);

#ifdef __cplusplus
}
#endif

#endif
