// The failure messages of the open-file dialog, by extended error code.
// The texts are the product's own and are kept exactly, punctuation
// included.
#include "dialog/dialog_messages.h"

namespace {

struct MessageRow {
  DWORD code;
  const WCHAR* text;
};

constexpr MessageRow kMessages[] = {
    {0x0002, u"公共对话框函数在初始化过程中失败,没有足够内存"},  // CDERR_INITIALIZATION
    {0x0003, u"在对应的公共对话框初始化结构Flag成员中设置ENABLETEMPLATE标志,但是在提供相应的模板时出错"},  // CDERR_NOTEMPLATE
    {0x0004, u"在对应的公共对话框初始化结构Flags成员中设置ENABLETEMPLATE标志,但是在提供相应的事例句柄时出错"},  // CDERR_NOHINSTANCE
    {0x0005, u"公共对话框函数没能调出指定的串"},  // CDERR_LOADSTRFAILURE
    {0x0006, u"公共对话框函数没能找到指定资源"},  // CDERR_FINDRESFAILURE
    {0x0007, u"公共对话框函数没能调出指定的资源"},  // CDERR_LOADRESFAILURE
    {0x0008, u"公共对话框函数没能销定指定的资源"},  // CDERR_LOCKRESFAILURE
    {0x0009, u"公共对话框函数不能为内部结构分配内存"},  // CDERR_MEMALLOCFAILURE
    {0x000B, u"在对应的公共对话框初始化结构Flags成员中设置ENABLEHOOK标志，但是在提供相应的挂钩程序指针时出错"},  // CDERR_NOHOOK
    {0x000C, u"当RegisterWindowMessage函数被公共对话框函数调用时，该函数返回错误代码"},  // CDERR_REGISTERMSGFAIL
    {0x3001, u"由于没有足够内存，在对列表框分类时出错"},  // FNERR_SUBCLASSFAILURE
    {0x3002, u"文件名无效"},  // FNERR_INVALIDFILENAME
    {0x3003, u"由OPENFILENAME结构的lpstrFile成员指向的缓冲区对由用户指定的文件名来说太小"},  // FNERR_BUFFERTOOSMALL
    {0xFFFF, u"对话框不能创建"},  // CDERR_DIALOGFAILURE
};

}  // namespace

const WCHAR* DialogFailureMessage(DWORD code) {
  for (const MessageRow& row : kMessages)
    if (row.code == code) return row.text;
  return nullptr;
}
