// A dialog the program knows by a global name (AboutBox, MultPageDlg, Connect1, TitleInput1)
// but builds only when something first uses it, so that starting the program pays for the
// main window alone.
//
// The slot reads like the pointer it stands for: ->, * and the conversion to T* build the
// dialog on first use, as a child of the owner given to SetOwner(), which then owns and
// destroys it. Once the dialog is destroyed (with its owner) the slot is empty again. Used
// before an owner is set, it builds a dialog without a parent, which nobody deletes:
// CreateForms sets the owners before anything runs.
#pragma once

#include <QPointer>
#include <QWidget>

template <class T>
class LazyForm {
public:
    void SetOwner(QWidget* owner) { owner_ = owner; }

    T* get()
    {
        if (!form_)
            form_ = new T(owner_.data());
        return form_.data();
    }

    T* operator->() { return get(); }
    T& operator*() { return *get(); }
    operator T*() { return get(); }

private:
    QPointer<QWidget> owner_;
    QPointer<T> form_;
};
