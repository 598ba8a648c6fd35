#!/usr/bin/python3
# Prints what a screen reader learns of the program PID over AT-SPI, one accessible object a
# line: window, role, name, description, labels (the names of what it is labelled by, joined
# with "|"), tab-separated. Only objects on the screen (showing) and in a window the program
# shows are printed; a window is the application's child that holds them.
import sys

import pyatspi


def text(s):
    return (s or '').replace('\t', ' ').replace('\n', ' ')


def walk(node, window, out):
    try:
        if not node.getState().contains(pyatspi.STATE_SHOWING):
            return
        labels = []
        for relation in node.getRelationSet():
            if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY:
                labels += [text(relation.getTarget(i).name) for i in range(relation.getNTargets())]
        out.append('\t'.join([window, node.getRoleName(), text(node.name), text(node.description), '|'.join(labels)]))
        children = [node.getChildAtIndex(i) for i in range(node.childCount)]
    except Exception:  # an object that went away while it was read
        return
    for child in children:
        if child is not None:
            walk(child, window, out)


def main():
    pid = int(sys.argv[1])
    desktop = pyatspi.Registry.getDesktop(0)
    out = []
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is None or app.get_process_id() != pid:
            continue
        for j in range(app.childCount):
            window = app.getChildAtIndex(j)
            if window is not None:
                walk(window, text(window.name), out)
    print('\n'.join(out))


main()
