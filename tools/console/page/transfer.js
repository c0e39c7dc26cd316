// Files to and from the player through the console: an upload streams the file's bytes in the
// request body; a download is the browser's own, from an attachment link.

export async function uploadFile(file) {
  const response = await fetch(`/upload?name=${encodeURIComponent(file.name)}`, { method: 'POST', body: file });
  const answer = await response.json().catch(() => ({ error: `${response.status} ${response.statusText}` }));
  if (!response.ok) throw new Error(answer.error ?? `${response.status} ${response.statusText}`);
  return answer;
}

export function downloadFile(name) {
  const link = document.createElement('a');
  link.href = `/download?name=${encodeURIComponent(name)}`;
  link.download = name;
  document.body.append(link);
  link.click();
  link.remove();
}
