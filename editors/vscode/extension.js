// Starts `zarn lsp` for .zarn files and connects it to the editor.
'use strict';

const vscode = require('vscode');
const { LanguageClient, TransportKind } = require('vscode-languageclient/node');

let client;

function activate(context) {
  const command = vscode.workspace.getConfiguration('zarn').get('path') || 'zarn';
  const serverOptions = { command, args: ['lsp'], transport: TransportKind.stdio };
  const clientOptions = {
    documentSelector: [{ scheme: 'file', language: 'zarn' }, { scheme: 'untitled', language: 'zarn' }],
  };
  client = new LanguageClient('zarn', 'Zarn', serverOptions, clientOptions);
  context.subscriptions.push({ dispose: () => client && client.stop() });
  return client.start();
}

function deactivate() {
  return client ? client.stop() : undefined;
}

module.exports = { activate, deactivate };
