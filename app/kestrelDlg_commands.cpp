#include "kestrelDlg.h"

void kestrelDlg::onAdd()
{
}

void kestrelDlg::onDelete()
{
}

void kestrelDlg::onRename()
{
}

void kestrelDlg::onChangeCategory()
{
}

void kestrelDlg::onKindEdit()
{
}

void kestrelDlg::onSettings()
{
}

void kestrelDlg::onAbout()
{
}
