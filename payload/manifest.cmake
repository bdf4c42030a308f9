# Every file the program carries and writes to disk, in the order in which the
# tool files are written. One line per file:
#
#   mv_payload(<Id> PATH <target> BASE WORK|WINDOWS RULE ALWAYS|MISSING|SEPARATE
#              [VENDOR <name>] [TARGET <target>] [FILE <file>] [STANDIN <file>])
#
# PATH    where it goes, relative to the work directory (BASE WORK) or to the
#         Windows drive (BASE WINDOWS); written with "/", stored with "\".
# RULE    ALWAYS: rewritten by every tool-file pass; MISSING: written only when
#         no file is there; SEPARATE: carried here, written by its own module
#         just before use.
# Sources, first one available wins:
#   VENDOR  a file of that name in MV_VENDOR_PAYLOAD_DIR (supplied by a deployer)
#   TARGET  a file this build makes (used when the target exists)
#   FILE    a file of the source tree (relative to payload/)
#   STANDIN a clearly named stand-in (relative to payload/standins/)

# The WIM tool and its library.
mv_payload(Libwim   PATH "tools/libwim-15.dll" BASE WORK RULE ALWAYS VENDOR libwim-15.dll STANDIN libwim-15.dll.standin)
mv_payload(Wimlib   PATH "tools/wimlib.exe"    BASE WORK RULE ALWAYS VENDOR wimlib.exe    STANDIN wimlib.exe.standin)

# The download engine and its companion files.
mv_payload(Xldl              PATH "xldl.dll"                       BASE WORK RULE ALWAYS TARGET xldl STANDIN xldl.dll.standin)
mv_payload(DlAtl71           PATH "download/atl71.dll"            BASE WORK RULE ALWAYS STANDIN download/atl71.dll.standin)
mv_payload(DlPeerId          PATH "download/dl_peer_id.dll"       BASE WORK RULE ALWAYS STANDIN download/dl_peer_id.dll.standin)
mv_payload(DlEngine          PATH "download/download_engine.dll"  BASE WORK RULE ALWAYS STANDIN download/download_engine.dll.standin)
mv_payload(DlIdDat           PATH "download/id.dat"               BASE WORK RULE ALWAYS VENDOR id.dat FILE files/id.dat)
mv_payload(DlMiniDown        PATH "download/MiniDownPlatform.exe" BASE WORK RULE ALWAYS STANDIN download/MiniDownPlatform.exe.standin)
mv_payload(DlMinizip         PATH "download/minizip.dll"          BASE WORK RULE ALWAYS STANDIN download/minizip.dll.standin)
mv_payload(DlMsvcp71         PATH "download/msvcp71.dll"          BASE WORK RULE ALWAYS STANDIN download/msvcp71.dll.standin)
mv_payload(DlMsvcr71         PATH "download/msvcr71.dll"          BASE WORK RULE ALWAYS STANDIN download/msvcr71.dll.standin)
mv_payload(DlBugHandler      PATH "download/XLBugHandler.dll"     BASE WORK RULE ALWAYS STANDIN download/XLBugHandler.dll.standin)
mv_payload(DlBugReport       PATH "download/XLBugReport.exe"      BASE WORK RULE ALWAYS STANDIN download/XLBugReport.exe.standin)
mv_payload(DlZlib1           PATH "download/zlib1.dll"            BASE WORK RULE ALWAYS STANDIN download/zlib1.dll.standin)

# Boot configuration tools and the RAM-disk boot image: written once per machine.
mv_payload(Bcdedit  PATH "tools/bcdedit.exe"  BASE WORK    RULE MISSING VENDOR bcdedit.exe TARGET bcdedit_standin STANDIN bcdedit.exe.standin)
mv_payload(BootSdi  PATH "boot/boot.sdi"      BASE WINDOWS RULE MISSING VENDOR boot.sdi    STANDIN boot.sdi.standin)
mv_payload(Bootsect PATH "tools/bootsect.exe" BASE WORK    RULE MISSING VENDOR bootsect.exe STANDIN bootsect.exe.standin)
# The Windows XP/2003 boot chain, written by the boot-entry step on those systems only.
mv_payload(ChainBcf     PATH "boot/BCF"   BASE WINDOWS RULE SEPARATE VENDOR BCF        STANDIN chain/BCF.standin)
mv_payload(ChainBootqii PATH "bootqii"    BASE WINDOWS RULE SEPARATE VENDOR bootqii    STANDIN chain/bootqii.standin)
mv_payload(ChainQzload  PATH "qzload.pbr" BASE WINDOWS RULE SEPARATE VENDOR qzload.pbr STANDIN chain/qzload.pbr.standin)

# The disk-listing tool, written by the partition listing before each run.
mv_payload(QzDir    PATH "tools/QzDir.exe"    BASE WORK RULE SEPARATE TARGET QzDir STANDIN QzDir.exe.standin)
